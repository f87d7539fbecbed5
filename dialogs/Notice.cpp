#include "Notice.h"

#include "ColumnScan.h"

#include <QLocale>
#include <QMessageBox>

namespace plotrun {

void showNotice(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void showNotice(QWidget* parent, const Notice& notice)
{
    showNotice(parent, QString::fromStdString(notice.title), QString::fromStdString(notice.text));
}

std::string decimalSeparator() { return QLocale().decimalPoint().toStdString(); }

} // namespace plotrun
