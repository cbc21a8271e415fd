#pragma once

#include "data/errors.h"
#include "gui/messages.h"

#include <exception>
#include <utility>

class QWidget;

// Runs one command: any error it raises is shown in a critical box and the program goes on.
// No exception may cross Qt's event loop. Gives true when the command ran to its end.
template <typename Command> bool guarded(QWidget* parent, Command&& command)
{
    try {
        std::forward<Command>(command)();
        return true;
    } catch (const QuenvaleError& e) {
        messages().critical(parent, explainedFailure(e.message()));
    } catch (const std::exception& e) {
        messages().critical(parent, explainedFailure(QString::fromUtf8(e.what())));
    }
    return false;
}
