// Left and right edges by vertical band: floats constrain everything they
// overlap, a block's edges only while that block is being laid out.
#include "html/view/indent_manager.h"

#include <algorithm>

void TIndentManager::Init(int Lf, int Wd) {
  LeftEdge = Lf;
  Width = Wd;
  L.clear();
  R.clear();
  CurrentID = nullptr;
}

void TIndentManager::Reset(int Lf) {
  LeftEdge = Lf;
  CurrentID = nullptr;
}

int TIndentManager::leftRaw(int Y) const {
  bool found = false;
  int result = 0;
  for (const IndentRec& rec : L) {
    if (Y < rec.YT || Y >= rec.YB || (rec.ID && rec.ID != CurrentID)) continue;
    result = found ? std::max(result, rec.X) : rec.X;
    found = true;
  }
  if (found) return result;
  // Otherwise the current block's own edge; floats never stand for it.
  for (auto it = L.rbegin(); it != L.rend(); ++it)
    if (it->ID && it->ID == CurrentID) return it->X;
  return 0;
}

int TIndentManager::rightRaw(int Y) const {
  bool found = false;
  int result = 0;
  for (const IndentRec& rec : R) {
    if (Y < rec.YT || Y >= rec.YB || (rec.ID && rec.ID != CurrentID)) continue;
    result = found ? std::min(result, rec.X) : rec.X;
    found = true;
  }
  if (found) return result;
  int base = 0;
  for (auto it = L.rbegin(); it != L.rend(); ++it)
    if (it->ID && it->ID == CurrentID) {
      base = it->X;
      break;
    }
  return base + Width;
}

const IndentRec& TIndentManager::AddLeft(int YT, int YB, int W) {
  L.push_back({leftRaw(YT) + W, YT, YB, nullptr});
  return L.back();
}

const IndentRec& TIndentManager::AddRight(int YT, int YB, int W) {
  R.push_back({rightRaw(YT) - W, YT, YB, nullptr});
  return R.back();
}

int TIndentManager::SetLeftIndent(int XLeft, int Y) {
  L.push_back({XLeft, Y, IndentOpenBottom, CurrentID});
  return int(L.size()) - 1;
}

int TIndentManager::SetRightIndent(int XRight, int Y) {
  R.push_back({XRight, Y, IndentOpenBottom, CurrentID});
  return int(R.size()) - 1;
}

void TIndentManager::FreeLeftIndentRec(int I) {
  if (I >= 0 && I < int(L.size())) L.erase(L.begin() + I);
}

void TIndentManager::FreeRightIndentRec(int I) {
  if (I >= 0 && I < int(R.size())) R.erase(R.begin() + I);
}

namespace {

// Of the first rooms found below each side's floats (at LY and RY, with
// X positions LX and RX; a side's Y unchanged means none was found), the
// nearer one; with none, the bottom of the floats passed and Fallback.
int closerRoom(int& Y, int MaxBottom, int Fallback, int LY, int LX, int RY, int RX) {
  if (LY == Y && RY == Y) {
    Y = MaxBottom;
    return Fallback;
  }
  if (LY != Y && (RY == Y || LY < RY)) {
    Y = LY;
    return LX;
  }
  Y = RY;
  return RX;
}

}  // namespace

int TIndentManager::AlignLeft(int& Y, int W, int SpW, int SpH) {
  const int L0 = leftRaw(Y);
  const int R0 = rightRaw(Y);
  if (R0 >= L0 + W + SpW) return L0 + LeftEdge;
  if (SpH > 0 && rightRaw(Y + SpH) >= L0 + W) {
    Y += SpH;
    return L0 + LeftEdge;
  }
  int maxBottom = Y, base = 0, LY = Y, LX = L0;
  for (auto it = L.rbegin(); it != L.rend(); ++it) {
    if (it->ID == CurrentID && it->ID) {
      base = it->X;
      break;
    }
    if (it->ID) continue;
    if (it->YB > Y && (LY == Y || it->YB < LY) && leftRaw(it->YB - 1) == it->X) {
      maxBottom = std::max(maxBottom, it->YB);
      if (rightRaw(it->YB) - W >= leftRaw(it->YB)) {
        LY = it->YB;
        LX = leftRaw(it->YB);
      }
    }
  }
  int RY = Y, RX = L0;
  for (auto it = R.rbegin(); it != R.rend(); ++it) {
    if (it->ID == CurrentID && it->ID) break;
    if (it->ID) continue;
    if (it->YB > Y && (RY == Y || it->YB < RY) && rightRaw(it->YB - 1) == it->X) {
      maxBottom = std::max(maxBottom, it->YB);
      if (rightRaw(it->YB) - W >= leftRaw(it->YB)) {
        RY = it->YB;
        RX = leftRaw(it->YB);
      }
    }
  }
  return closerRoom(Y, maxBottom, base, LY, LX, RY, RX) + LeftEdge;
}

int TIndentManager::AlignRight(int& Y, int W, int SpW, int SpH) {
  const int R0 = rightRaw(Y) - W;
  if (leftRaw(Y) + SpW <= R0) return R0 + LeftEdge;
  if (SpH > 0 && leftRaw(Y + SpH) <= R0) {
    Y += SpH;
    return R0 + LeftEdge;
  }
  int maxBottom = Y, def = Width - W, LY = Y, LX = R0;
  for (auto it = L.rbegin(); it != L.rend(); ++it) {
    if (it->ID == CurrentID && it->ID) break;
    if (it->ID) continue;
    if (it->YB > Y && (LY == Y || it->YB < LY) && leftRaw(it->YB - 1) == it->X) {
      maxBottom = std::max(maxBottom, it->YB);
      if (rightRaw(it->YB) - W >= leftRaw(it->YB)) {
        LY = it->YB;
        LX = rightRaw(it->YB) - W;
      }
    }
  }
  int RY = Y, RX = R0;
  for (auto it = R.rbegin(); it != R.rend(); ++it) {
    if (it->ID == CurrentID && it->ID) {
      def = it->X - W;
      break;
    }
    if (it->ID) continue;
    if (it->YB > Y && (RY == Y || it->YB < RY) && rightRaw(it->YB - 1) == it->X) {
      maxBottom = std::max(maxBottom, it->YB);
      if (rightRaw(it->YB) - W >= leftRaw(it->YB)) {
        RY = it->YB;
        RX = rightRaw(it->YB) - W;
      }
    }
  }
  return closerRoom(Y, maxBottom, def, LY, LX, RY, RX) + LeftEdge;
}

int TIndentManager::GetNextWiderY(int Y) const {
  int result = htUnset;
  for (const auto* list : {&L, &R})
    for (const IndentRec& rec : *list)
      if (!rec.ID && rec.YB > Y) result = std::min(result, rec.YB);
  return result == htUnset ? Y : result;
}

int TIndentManager::ImageBottom() const {
  int result = 0;
  for (const auto* list : {&L, &R})
    for (const IndentRec& rec : *list)
      if (!rec.ID) result = std::max(result, rec.YB);
  return result;
}

void TIndentManager::GetClearY(int& CL, int& CR) const {
  CL = -1;
  CR = -1;
  for (const IndentRec& rec : L)
    if (!rec.ID) CL = std::max(CL, rec.YB);
  for (const IndentRec& rec : R)
    if (!rec.ID) CR = std::max(CR, rec.YB);
  CL += 1;
  CR += 1;
}
