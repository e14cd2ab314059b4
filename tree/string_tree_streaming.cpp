// The string tree's part of the stream form: a caption chunk (type 3) with
// the node's main-column text as UTF-16 little-endian code units.
#include <bit>

#include "platform/core/streams.h"
#include "tree/string_tree.h"

namespace {
constexpr int CaptionChunk = 3;
}  // namespace

void TCustomDataStringTree::WriteNodeChunks(TStream* Stream, PDataNode Node) {
  const TLifeHold life = lifeHold();
  TBaseDataTree::WriteNodeChunks(Stream, Node);
  if (life.expired()) return;
  if (!TreeOptions().StringOptions().Contains(toSaveCaptions) || Node == RootNode() ||
      !Node->States.Contains(vsInitialized))
    return;
  const String text = GetCellText(Node, Header().MainColumn());
  if (text.empty()) return;
  if (text.size() > std::size_t(INT32_MAX / 2)) ShowError("The tree is too big for the stream format.", 2006);
  unsigned char buffer[8 + 512];
  auto put32 = [](unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
  };
  put32(buffer, CaptionChunk);
  put32(buffer + 4, std::uint32_t(2 * text.size()));
  std::size_t used = 8;
  for (char16_t unit : text) {
    if (used + 2 > sizeof buffer) {
      Stream->WriteBuffer(buffer, std::int64_t(used));
      used = 0;
    }
    buffer[used++] = std::uint8_t(unit);
    buffer[used++] = std::uint8_t(unit >> 8);
  }
  Stream->WriteBuffer(buffer, std::int64_t(used));
}

bool TCustomDataStringTree::ReadStreamChunk(TStream* Stream, int Version, PDataNode Node, int ChunkType,
                                            int ChunkSize) {
  if (ChunkType != CaptionChunk) return TBaseDataTree::ReadStreamChunk(Stream, Version, Node, ChunkType, ChunkSize);
  // The chunk's size was checked against the node that holds it; an odd
  // last byte is no whole unit and is left out.
  String text(std::size_t(ChunkSize > 0 ? ChunkSize : 0) / 2, u'\0');
  Stream->ReadBuffer(text.data(), std::int64_t(2 * text.size()));
  if constexpr (std::endian::native == std::endian::big)
    for (char16_t& unit : text) unit = char16_t((unit >> 8) | (unit << 8));
  SetCellText(Node, Header().MainColumn(), text);
  return true;
}
