// The first byte picks what the bytes after it go through: a whole-tree
// load (with or without the stream header put in front, so that the
// fuzzer spends its time in the chunks) or an insert of node chunks next
// to existing nodes, as the clipboard and drops do. Whatever is read, the
// tree must afterwards keep the counts it keeps incrementally, or be as it
// was before.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/core/streams.h"
#include "tree/string_tree.h"

namespace {
// Checks every child's links and index and every stored count against a
// recount, in one walk without recursion (the seeds nest deeper than the
// call stack would allow).
void recount(PDataNode Root) {
  for (PDataNode run = Root;;) {
    if (run->FirstChild) {
      run = run->FirstChild;
      continue;
    }
    // Run is done; so is every parent whose last child it closes.
    for (;;) {
      std::uint32_t total = 1, index = 0;
      for (PDataNode child = run->FirstChild; child; child = child->NextSibling, ++index) {
        if (child->Parent != run || child->Index != index) std::abort();
        total += child->TotalCount;
      }
      if (index != run->ChildCount || total != run->TotalCount) std::abort();
      if (run == Root) return;
      if (run->NextSibling) {
        run = run->NextSibling;
        break;
      }
      run = run->Parent;
    }
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  TMemoryStream stream;
  if ((mode & 3) == 1) {
    static const std::uint8_t header[] = {0x45, 0x20, 'V', 0, 'T', 0, 2, 0, ' ', 0, 0x46, 0x20};
    stream.WriteBuffer(header, sizeof header);
  }
  if (size > 1) stream.WriteBuffer(data + 1, std::int64_t(size - 1));
  stream.SetPosition(0);

  // One tree for all runs: making a window control costs more than a run.
  static TDataStringTree& tree = *[] {
    auto* t = new TDataStringTree(nullptr);
    t->SetNodeDataSize(4);
    // An owner reading four bytes of its data, however long its chunk is.
    t->OnLoadNode = [](TBaseDataTree* s, PDataNode n, TStream* st) { st->Read(s->GetNodeData(n), 4); };
    return t;
  }();
  TDTSelectionOptions selection = tree.TreeOptions().SelectionOptions();
  if (mode & 4)
    selection.Include(toMultiSelect);
  else
    selection.Exclude(toMultiSelect);
  tree.TreeOptions().SetSelectionOptions(selection);
  PDataNode existing = tree.AddChild(nullptr);
  tree.AddChild(existing);
  try {
    if ((mode & 3) == 2)
      tree.InsertNodesFromStream(&stream, existing, TDTNodeAttachMode(1 + (mode >> 4) % 4));
    else
      tree.LoadFromStream(&stream);
  } catch (const EDataTreeError&) {
    if (tree.TotalCount() != 2) std::abort();
  }
  recount(tree.RootNode());
  tree.Clear();
  return 0;
}
