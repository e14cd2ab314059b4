#pragma once
// A string tree whose captions and ids live in the test, as an owner keeps
// them: captions come back through OnNewText, ids through the user data
// chunk, and every node the tree frees is counted.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "tests/tree/tree_test_util.h"
#include "tree/string_tree.h"

class TOwnedTree : public TDataStringTree {
public:
  explicit TOwnedTree(bool WithIds = true) : TDataStringTree(nullptr) {
    SetNodeDataSize(sizeof(std::int32_t));
    OnGetText = [this](TBaseDataTree*, PDataNode Node, TColumnIndex, TDTTextType Type, String& Text) {
      if (Type == ttNormal) Text = Captions[Node];
    };
    OnNewText = [this](TBaseDataTree*, PDataNode Node, TColumnIndex, const String& Text) { Captions[Node] = Text; };
    OnFreeNode = [this](TBaseDataTree*, PDataNode Node) {
      Captions.erase(Node);
      ++Freed;
    };
    if (WithIds) {
      OnSaveNode = [this](TBaseDataTree*, PDataNode Node, TStream* Stream) {
        const std::int32_t id = Id(Node);
        if (id != 0) Stream->WriteBuffer(&id, 4);
      };
      OnLoadNode = [this](TBaseDataTree*, PDataNode Node, TStream* Stream) {
        std::int32_t id = 0;
        Stream->ReadBuffer(&id, 4);
        SetId(Node, id);
      };
    }
  }
  // The tree frees its nodes after the members here are gone.
  ~TOwnedTree() override { OnFreeNode = nullptr; }
  std::int32_t Id(PDataNode Node) {
    std::int32_t id;
    std::memcpy(&id, GetNodeData(Node), 4);
    return id;
  }
  void SetId(PDataNode Node, std::int32_t Id) { std::memcpy(GetNodeData(Node), &Id, 4); }
  PDataNode Add(PDataNode Parent, const std::string& Caption, std::int32_t Id = 0) {
    PDataNode node = AddChild(Parent);
    InitNode(node);
    Captions[node] = UTF8ToUTF16(Caption);
    SetId(node, Id);
    return node;
  }
  std::string Caption(PDataNode Node) { return UTF16ToUTF8(Captions[Node]); }
  // One line per node: indentation, caption, id and what is kept of it.
  std::string Dump() {
    std::string out;
    for (PDataNode n = GetFirstNoInit(); n; n = GetNextNoInit(n)) {
      out += std::string(2 * GetNodeLevel(n), ' ') + Caption(n) + " #" + std::to_string(Id(n)) +
             " h" + std::to_string(n->NodeHeight) + " c" + std::to_string(int(n->CheckType)) + "/" +
             std::to_string(int(n->CheckState)) + " s" + std::to_string(n->States.RawBits() & 0x19E9) + "\n";
    }
    return out;
  }
  using TDataStringTree::InitNode;
  std::map<PDataNode, String> Captions;
  int Freed = 0;
};

// Three selected rows of source, each with a child, cut to the clipboard;
// target gets a row "here" focused to paste below.
inline PDataNode cutThreeRows(TOwnedTree& s, TOwnedTree& t) {
  TDTSelectionOptions sel = s.TreeOptions().SelectionOptions();
  sel.Include(toMultiSelect);
  s.TreeOptions().SetSelectionOptions(sel);
  for (int i = 0; i < 3; ++i) {
    PDataNode n = s.Add(nullptr, "row " + std::to_string(i));
    s.Add(n, "below " + std::to_string(i));
    s.SetSelected(n, true);
  }
  s.CutToClipboard();
  PDataNode here = t.Add(nullptr, "here");
  t.SetFocusedNode(here);
  t.SetDefaultPasteMode(amAddChildLast);
  return here;
}

// An owned tree that its own handlers may destroy.
struct TDoomedTree {
  TOwnedTree* T = new TOwnedTree;
  bool Destroyed = false;
  void destroy() {
    if (Destroyed) return;
    Destroyed = true;
    delete T;
  }
  ~TDoomedTree() {
    if (!Destroyed) delete T;
  }
};

inline std::string streamBytes(TStream& Stream) {
  std::string bytes(std::size_t(Stream.Size()), '\0');
  Stream.SetPosition(0);
  Stream.ReadBuffer(bytes.data(), Stream.Size());
  return bytes;
}

inline void setBytes(TMemoryStream& Stream, const std::string& Bytes) {
  Stream.SetSize(0);
  Stream.WriteBuffer(Bytes.data(), std::int64_t(Bytes.size()));
  Stream.SetPosition(0);
}
