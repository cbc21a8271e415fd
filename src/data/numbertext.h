#pragma once

#include <QtGlobal>

#include <bit>
#include <cstdint>

// A text in a number column ('abc' put into an amount by another program) is kept as stored:
// it rides among the column's numbers as a NaN whose payload is the text's place in the
// column's text pool. No number the book can hold is such a NaN (SQLite stores none at all; a
// server's NaN has no payload), and no amount is ever computed from one.
namespace numbertext {

inline constexpr std::uint64_t kMark = 0x7ffa'0000'0000'0000ULL; // quiet NaN, marker bit 49

inline double box(quint32 textId)
{
    return std::bit_cast<double>(kMark | textId);
}

inline bool isText(double value)
{
    return (std::bit_cast<std::uint64_t>(value) & 0xffff'0000'0000'0000ULL) == kMark;
}

inline quint32 textId(double value)
{
    return static_cast<quint32>(std::bit_cast<std::uint64_t>(value));
}

// The order SQLite gives such a column: numbers first, then the texts.
inline bool less(double left, double right)
{
    if (isText(left) || isText(right))
        return !isText(left) && isText(right);
    return left < right;
}

} // namespace numbertext
