#pragma once

#include "data/errors.h"
#include "gui/messages.h"

#include <QObject>

#include <exception>
#include <functional>
#include <type_traits>
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

// Wires a widget's signal to a command of window, run under guarded(window, …). The handler is
// a member function of window or a plain callable; it gets the signal's arguments when it takes
// them (a title click's column) and none otherwise (a button's checked state is not wanted).
template <typename Sender, typename Signal, typename Window, typename Handler>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, Window* window,
                                       Handler handler)
{
    return QObject::connect(sender, signal, window, [window, handler](const auto&... args) {
        guarded(window, [&] {
            if constexpr (std::is_member_function_pointer_v<Handler>) {
                if constexpr (std::is_invocable_v<Handler, Window*, decltype(args)...>)
                    std::invoke(handler, window, args...);
                else
                    std::invoke(handler, window);
            } else if constexpr (std::is_invocable_v<Handler, decltype(args)...>) {
                std::invoke(handler, args...);
            } else {
                std::invoke(handler);
            }
        });
    });
}
