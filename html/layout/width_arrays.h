#pragma once
// The integer-array arithmetic of table layout: sums over column ranges
// (saturating, so that huge pages cannot overflow them), filling, and
// counting columns by width type.
#include <array>
#include <cstdint>
#include <vector>

#include "html/model/attributes.h"

using IntArray = std::vector<std::int32_t>;
using TWidthTypeArray = std::vector<TWidthType>;
using TIntegerPerWidthType = std::array<std::int32_t, 4>;

std::int32_t SumOfInteger(const IntArray& A, int F, int L);
std::int32_t Sum(const IntArray& A);
IntArray SubtractArrays(const IntArray& A, const IntArray& B);
void SetArray(IntArray& A, std::int32_t V, int F, int L);
void SetArray(IntArray& A, std::int32_t V);
void CountWidthTypes(TIntegerPerWidthType& Counts, const TWidthTypeArray& Types, int F, int L);
std::int32_t SumOfType(TWidthType T, const TWidthTypeArray& Types, const IntArray& Values, int F, int L);
