// The integer-array arithmetic of table layout.
#include "html/layout/width_arrays.h"

#include <algorithm>

std::int32_t SumOfInteger(const IntArray& A, int F, int L) {
  std::int64_t s = 0;
  for (int i = std::max(F, 0); i <= L && i < int(A.size()); ++i) s += A[size_t(i)];
  return std::int32_t(std::clamp<std::int64_t>(s, INT32_MIN, INT32_MAX));
}

std::int32_t Sum(const IntArray& A) { return SumOfInteger(A, 0, int(A.size()) - 1); }

IntArray SubtractArrays(const IntArray& A, const IntArray& B) {
  IntArray r = A;
  for (size_t i = 0; i < std::min(A.size(), B.size()); ++i) r[i] = A[i] - B[i];
  return r;
}

void SetArray(IntArray& A, std::int32_t V, int F, int L) {
  for (int i = std::max(F, 0); i <= L && i < int(A.size()); ++i) A[size_t(i)] = V;
}

void SetArray(IntArray& A, std::int32_t V) { std::fill(A.begin(), A.end(), V); }

void CountWidthTypes(TIntegerPerWidthType& Counts, const TWidthTypeArray& Types, int F, int L) {
  Counts = {};
  for (int i = std::max(F, 0); i <= L && i < int(Types.size()); ++i) ++Counts[Types[size_t(i)]];
}

std::int32_t SumOfType(TWidthType T, const TWidthTypeArray& Types, const IntArray& Values, int F, int L) {
  std::int64_t s = 0;
  for (int i = std::max(F, 0); i <= L && i < int(Types.size()) && i < int(Values.size()); ++i)
    if (Types[size_t(i)] == T) s += Values[size_t(i)];
  return std::int32_t(std::clamp<std::int64_t>(s, INT32_MIN, INT32_MAX));
}
