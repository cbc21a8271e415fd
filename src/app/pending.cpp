// Commands whose windows are still to come; each moves to its own subsystem when built.
#include "app/mainform.h"
#include "data/errors.h"

void TMainForm::ToolButton17Click()
{
    throw QuenvaleError(QStringLiteral("数据备份: not available yet"));
}
void TMainForm::N13Click()
{
    throw QuenvaleError(QStringLiteral("用户管理: not available yet"));
}
void TMainForm::N15Click()
{
    throw QuenvaleError(QStringLiteral("修改密码: not available yet"));
}
void TMainForm::ToolButton7Click()
{
    throw QuenvaleError(QStringLiteral("新建记录: not available yet"));
}
void TMainForm::ToolButton19Click()
{
    throw QuenvaleError(QStringLiteral("删除记录: not available yet"));
}
void TMainForm::Excel1Click()
{
    throw QuenvaleError(QStringLiteral("导出Excel: not available yet"));
}
void TMainForm::connectGridMenu() {}
void TMainForm::connectEntryPanel() {}
