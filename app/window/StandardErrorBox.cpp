#include "StandardErrorBox.h"

#include <QApplication>
#include <QMessageBox>

namespace plotrun {

QString standardErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QChar('.'))
        return message + '.';
    return message;
}

void showStandardError(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, kAppTitle, standardErrorText(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace plotrun
