#pragma once

class QCoreApplication;

// Qt's own texts (file dialogs, message-box buttons, context menus) in Chinese, as the rest
// of the program. Gives false when the translation files are not installed; the program then
// runs with Qt's English texts.
bool installQtChinese(QCoreApplication& app);
