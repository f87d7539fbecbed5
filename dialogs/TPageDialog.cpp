#include "TPageDialog.h"

#include "../files/PageFile.h"
#include "ui_TPageDialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

using namespace plotrun;

namespace {

constexpr int kThumbnailSide = 120;

} // namespace

TPageDialog::TPageDialog(const PageFile& file, const QString& fileName, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TPageDialog>()), file_(file)
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle("Open " + fileName);
    // The resolution's range and start value are the scanner's --dpi.
    const ScanOption* dpi = optionByFlag("--dpi");
    ui_->DpiBox->setRange(dpi->least, dpi->most);
    ui_->DpiBox->setValue(dpi->start);
    ui_->DpiBox->setSingleStep(50);
    // A drawing, or a PDF of one page, has no page to choose.
    const bool pages = file.pageCount() > 1;
    ui_->PageLbl->setVisible(pages);
    ui_->PageList->setVisible(pages);
    if (pages) {
        ui_->PageList->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
        for (int page = 1; page <= file.pageCount(); ++page) {
            // A page that cannot be drawn small is still listed, without its picture.
            QPixmap thumbnail;
            try {
                thumbnail = QPixmap::fromImage(file.thumbnail(page, kThumbnailSide));
            } catch (const std::exception&) {
            }
            ui_->PageList->addItem(new QListWidgetItem(QIcon(thumbnail), QString("Page %1").arg(page)));
        }
        ui_->PageList->setCurrentRow(0);
    } else {
        resize(width(), 0);
    }
    connect(ui_->DpiBox, &QSpinBox::valueChanged, this, [this] { showSize(); });
    connect(ui_->PageList, &QListWidget::currentRowChanged, this, [this] { showSize(); });
    connect(ui_->PageList, &QListWidget::itemDoubleClicked, this, &TPageDialog::accept);
    connect(ui_->Buttons, &QDialogButtonBox::accepted, this, &TPageDialog::accept);
    connect(ui_->Buttons, &QDialogButtonBox::rejected, this, &TPageDialog::reject);
    showSize();
}

TPageDialog::~TPageDialog() = default;

PageChoice TPageDialog::choice() const { return {std::max(1, ui_->PageList->currentRow() + 1), ui_->DpiBox->value()}; }

void TPageDialog::showSize()
{
    const PageChoice c = choice();
    const QSize size = file_.pixels(c.page, c.dpi);
    ui_->SizeLabel->setText(QString("%1 x %2 pixels").arg(size.width()).arg(size.height()));
}
