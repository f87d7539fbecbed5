#include "PointValues.h"

#include "Notice.h"
#include "NumberText.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace plotrun {

std::optional<std::pair<double, double>> askPointValues(QWidget* parent, double x, double y)
{
    const std::string sep = decimalSeparator();
    const auto text = [&](double v) { return QString::fromStdString(formatReal(v, sep)); };
    QDialog d(parent);
    d.setObjectName("PointValues");
    d.setWindowTitle("Reference point");
    auto* form = new QFormLayout(&d);
    form->addRow(new QLabel("At (" + text(x) + " , " + text(y) + ") on the picture:"));
    auto* realX = new QLineEdit;
    realX->setObjectName("PointRealX");
    auto* realY = new QLineEdit;
    realY->setObjectName("PointRealY");
    form->addRow("Real x:", realX);
    form->addRow("Real y:", realY);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    std::optional<std::pair<double, double>> values;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, [&] {
        const std::optional<double> rx = readReal(realX->text().toStdString(), sep);
        const std::optional<double> ry = readReal(realY->text().toStdString(), sep);
        if (!rx || !ry) {
            showNotice(&d, "Invalid input!", "The real x and y must be numbers.");
            return;
        }
        values = {*rx, *ry};
        d.accept();
    });
    if (d.exec() != QDialog::Accepted)
        return std::nullopt;
    return values;
}

} // namespace plotrun
