#pragma once

#include <QString>
#include <QStringView>
#include <Qt>

#include <array>

// The record grid's ten columns in one table: the grid, its titles and footer, the listing
// model, the printed report, the balance line and the exports all read them from here. An
// eleventh, the running balance 余额, shows in the grid only while 显示余额列 is ticked.
namespace gridcolumns {

// Column positions, in display order.
enum Column : int {
    Kind,         // a    收支类别
    Date,         // day1 日期
    Summary,      // b    项目摘要
    Counterparty, // c    单位名称
    Income,       // "1"  收入合计
    Received,     // "2"  已收金额
    Receivable,   // "3"  应收账款
    Expense,      // "4"  支出合计
    Paid,         // "5"  已付金额
    Payable,      // "6"  应付账款
    Count,
    Balance = Count // the cash balance after the record: no field of data
};

// How a cell's value is written.
enum class NumberForm {
    Text,       // as stored
    General,    // formats::general: no noise, no trailing zeros
    TwoDecimals // formats::upToTwoDecimals: the computed differences
};

struct GridColumn
{
    QStringView field;      // column of table data
    QStringView upperTitle; // shared by neighbours with the same text
    QStringView lowerTitle; // the click that sorts
    int designWidth;        // pixels at design size; the grid shares its width in this ratio
    Qt::Alignment align;    // horizontal; cells are centred vertically
    NumberForm form;
    bool summed;            // the footer shows the column's sum
    QStringView hideSwitch; // object name of the context-menu item that hides it, if any
    QStringView hideCaption;
    int printWidth; // share of the printed page's width

    QString title() const { return upperTitle.toString() + u'|' + lowerTitle.toString(); }
};

inline constexpr Qt::Alignment kCentre = Qt::AlignHCenter;
inline constexpr Qt::Alignment kLeft = Qt::AlignLeft;
inline constexpr Qt::Alignment kRight = Qt::AlignRight;

// clang-format off
inline constexpr std::array<GridColumn, Count> kColumns = {{
    {u"a",    u"现   金   帐", u"收支类别",   70,  kCentre, NumberForm::Text,        false, u"",    u"",             70},
    {u"day1", u"现   金   帐", u"日 期",      80,  kCentre, NumberForm::Text,        false, u"",    u"",             80},
    {u"b",    u"现   金   帐", u"项 目 摘 要", 180, kLeft,   NumberForm::Text,        false, u"",    u"",             180},
    {u"c",    u"现   金   帐", u"单位名称",   120, kLeft,   NumberForm::Text,        false, u"N7",  u"隐藏单位名称", 120},
    {u"1",    u"收  入",       u"合 计",      70,  kRight,  NumberForm::General,     true,  u"",    u"",             70},
    {u"2",    u"收  入",       u"已收金额",   70,  kRight,  NumberForm::General,     true,  u"N8",  u"隐藏已收金额", 70},
    {u"3",    u"收  入",       u"应收账款",   70,  kRight,  NumberForm::TwoDecimals, true,  u"N9",  u"隐藏应收账款", 70},
    {u"4",    u"支  出",       u"合 计",      70,  kRight,  NumberForm::General,     true,  u"",    u"",             70},
    {u"5",    u"支  出",       u"已付金额",   70,  kRight,  NumberForm::General,     true,  u"N10", u"隐藏已付金额", 70},
    {u"6",    u"支  出",       u"应付账款",   70,  kRight,  NumberForm::TwoDecimals, true,  u"N11", u"隐藏应付账款", 70},
}};
inline constexpr GridColumn kBalanceColumn =
    {u"",     u"结  余",       u"余 额",      90,  kRight,  NumberForm::General,     false, u"",    u"",             90};
// clang-format on

inline const GridColumn& column(int c)
{
    return c == Balance ? kBalanceColumn : kColumns[static_cast<size_t>(c)];
}

inline QString field(int c)
{
    return column(c).field.toString();
}

// The footer cell that carries the balance line 收支合计余额：….
inline constexpr int kBalanceFooter = Summary;

} // namespace gridcolumns
