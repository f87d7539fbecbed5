#include "Notice.h"

#include <QLocale>
#include <QMessageBox>

namespace plotrun {

void showNotice(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

std::string decimalSeparator() { return QLocale().decimalPoint().toStdString(); }

} // namespace plotrun
