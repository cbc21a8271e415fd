// Commands whose windows are still to come; each moves to its own subsystem when built.
#include "app/mainform.h"
#include "data/errors.h"

void TMainForm::ToolButton22Click()
{
    throw QuenvaleError(QStringLiteral("打印报表: not available yet"));
}
