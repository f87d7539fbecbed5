#pragma once
// The one place where errors that no handler deals with become a message:
// the standard error box, titled with the program's title.

#include <QString>

#include <exception>

namespace plotrun {

inline constexpr const char* kAppTitle = "Plotrun 1.1";

// The error's message with a full stop added when its last character sorts
// after ".".
QString standardErrorText(const QString& message);

void showStandardError(const QString& message);

// Runs a command handler. Whatever it throws ends in the standard error box;
// what the handler changed before that stays, and the program goes on.
template <class Handler>
void guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showStandardError(QString::fromUtf8(e.what()));
    } catch (...) {
        showStandardError("An unexpected error occurred");
    }
}

} // namespace plotrun
