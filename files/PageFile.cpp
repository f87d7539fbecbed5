#include "PageFile.h"
#include "PictureStructure.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfDocument>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <vector>

namespace plotrun {

namespace {

constexpr qint64 kHeadBytes = 4096;
// A PDF reader looks for the header in the first kilobyte and for the end
// marker in the last one.
constexpr qint64 kMarkerWindow = 1024;
// An SVG file is read whole to check that it is well formed; no drawing of a
// chart comes near this.
constexpr qint64 kMostSvgBytes = qint64(256) << 20;

bool looksLikeSvg(const QByteArray& head)
{
    QByteArray text = head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head;
    text = text.trimmed();
    return text.startsWith('<') && text.contains("<svg");
}

QString quoted(const QString& name) { return "\"" + name + "\""; }

PictureError refusal(PageFormat format, const QString& name, const QString& what)
{
    return PictureError(
        QString("The %1 file %2 %3").arg(format == PageFormat::Pdf ? "PDF" : "SVG", quoted(name), what).toStdString());
}

// An SVG length in inches: CSS units, 96 px to the inch; 0 for a length that
// is missing or relative (%, em, ex).
double lengthInches(const QString& text)
{
    static const QRegularExpression form(
        R"(^\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*(px|pt|pc|mm|cm|in)?\s*$)");
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return 0;
    const double v = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    const double perInch = unit == "pt"   ? 72
                           : unit == "pc" ? 6
                           : unit == "mm" ? 25.4
                           : unit == "cm" ? 2.54
                           : unit == "in" ? 1
                                          : 96;
    return v > 0 && std::isfinite(v) ? v / perInch : 0;
}

} // namespace

// Whether a PDF's page tree, as far as its objects lie in plain text, leads
// back to a node above: a /Kids list that holds its own node, or an
// ancestor. The renderer would walk such a tree for ever.
bool pageTreeLoops(const QByteArray& bytes)
{
    static const QRegularExpression object(R"((\d+)\s+\d+\s+obj\b)");
    static const QRegularExpression kids(R"(/Kids\s*\[([^\]]*)\])");
    static const QRegularExpression reference(R"((\d+)\s+\d+\s+R\b)");
    std::map<qint64, std::vector<qint64>> children;
    const QString text = QString::fromLatin1(bytes);
    for (auto it = object.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const qsizetype end = text.indexOf("endobj", m.capturedEnd());
        const QString body = text.mid(m.capturedEnd(), end < 0 ? -1 : end - m.capturedEnd());
        const QRegularExpressionMatch k = kids.match(body);
        if (!k.hasMatch())
            continue;
        std::vector<qint64>& list = children[m.captured(1).toLongLong()];
        for (auto r = reference.globalMatch(k.captured(1)); r.hasNext();)
            list.push_back(r.next().captured(1).toLongLong());
    }
    // A depth-first walk that meets a node still on its path has found a
    // loop. The walk keeps its own stack: a hostile file may nest deeply.
    std::map<qint64, int> state; // 1: on the path, 2: done
    for (const auto& [root, list] : children) {
        if (state[root] != 0)
            continue;
        std::vector<std::pair<qint64, size_t>> path{{root, 0}}; // a node and its next child
        state[root] = 1;
        while (!path.empty()) {
            auto& [node, next] = path.back();
            const auto c = children.find(node);
            if (c == children.end() || next >= c->second.size()) {
                state[node] = 2;
                path.pop_back();
                continue;
            }
            const qint64 child = c->second[next++];
            int& s = state[child];
            if (s == 1)
                return true;
            if (s == 0) {
                s = 1;
                path.emplace_back(child, 0);
            }
        }
    }
    return false;
}

PageFormat pageFormat(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return PageFormat::None;
    const QString suffix = info.suffix().toLower();
    QFile file(path);
    QByteArray head;
    if (file.open(QIODevice::ReadOnly))
        head = file.read(kHeadBytes);
    if (head.left(kMarkerWindow).contains("%PDF-"))
        return PageFormat::Pdf;
    if (looksLikeSvg(head))
        return PageFormat::Svg;
    // By its name, so that an empty or damaged one is refused in its own words.
    if (suffix == "pdf")
        return PageFormat::Pdf;
    if (suffix == "svg")
        return PageFormat::Svg;
    return PageFormat::None;
}

struct PageFile::Document {
    PageFormat format = PageFormat::None;
    QPdfDocument pdf;
    QSvgRenderer svg;
    QSizeF svgInches;
};

PageFile::PageFile(const QString& path) : d_(std::make_unique<Document>())
{
    name_ = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    const PageFormat format = pageFormat(path);
    d_->format = format;
    if (format == PageFormat::None)
        throw PictureError(QString("%1 is neither a PDF nor an SVG file.").arg(quoted(name_)).toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QString("Cannot open file \"%1\": %2").arg(path, file.errorString()).toStdString());
    if (file.size() == 0)
        throw refusal(format, name_, "is empty.");

    if (format == PageFormat::Pdf) {
        // The renderer mends a file that is cut short and shows what is left
        // of its pages; a figure with missing parts is no figure to measure.
        file.seek(std::max<qint64>(0, file.size() - kMarkerWindow));
        if (!file.read(kMarkerWindow).contains("%%EOF"))
            throw refusal(format, name_, "is damaged: it is cut short (it has no end marker %%EOF).");
        file.seek(0);
        if (pageTreeLoops(file.readAll()))
            throw refusal(format, name_, "is damaged: its list of pages leads back into itself.");
        file.close();
        switch (d_->pdf.load(path)) {
        case QPdfDocument::Error::None: break;
        case QPdfDocument::Error::IncorrectPassword:
            throw refusal(format, name_,
                          "is encrypted: it opens only with its password. Save a copy without "
                          "a password, then open that.");
        case QPdfDocument::Error::UnsupportedSecurityScheme:
            throw refusal(format, name_, "is encrypted in a way that cannot be read.");
        case QPdfDocument::Error::InvalidFileFormat:
            throw refusal(format, name_, "is damaged: its structure cannot be read.");
        default: throw refusal(format, name_, "cannot be read.");
        }
        if (d_->pdf.pageCount() < 1)
            throw refusal(format, name_, "is empty: it has no pages.");
        return;
    }

    if (file.size() > kMostSvgBytes)
        throw refusal(format, name_, QString("is larger than %1 MB.").arg(kMostSvgBytes >> 20));
    const QByteArray bytes = file.readAll();
    // Qt's SVG reader refuses a file that is not well formed without saying
    // where; the XML reader names the line, and finds the drawing's size.
    QXmlStreamReader xml(bytes);
    bool root = false;
    double width = 0, height = 0, boxWidth = 0, boxHeight = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!root && xml.isStartElement()) {
            root = true;
            if (xml.name() != QLatin1String("svg"))
                throw refusal(format, name_, "does not hold an SVG drawing.");
            const QXmlStreamAttributes a = xml.attributes();
            width = lengthInches(a.value("width").toString());
            height = lengthInches(a.value("height").toString());
            const QStringList box =
                a.value("viewBox").toString().split(QRegularExpression("[\\s,]+"), Qt::SkipEmptyParts);
            if (box.size() == 4) {
                boxWidth = box[2].toDouble() / 96;
                boxHeight = box[3].toDouble() / 96;
            }
        }
    }
    if (xml.hasError())
        throw refusal(format, name_, QString("is damaged: line %1: %2.").arg(xml.lineNumber()).arg(xml.errorString()));
    if (!root)
        throw refusal(format, name_, "is empty: it holds no drawing.");
    if (!d_->svg.load(bytes) || !d_->svg.isValid())
        throw refusal(format, name_, "is damaged: it cannot be drawn.");
    // A size in relative units, or none, is the view box's, in CSS pixels.
    if (width <= 0)
        width = boxWidth > 0 ? boxWidth : d_->svg.defaultSize().width() / 96.0;
    if (height <= 0)
        height = boxHeight > 0 ? boxHeight : d_->svg.defaultSize().height() / 96.0;
    if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height))
        throw refusal(format, name_, "is empty: its drawing has no size.");
    d_->svgInches = QSizeF(width, height);
}

PageFile::~PageFile() = default;

PageFormat PageFile::format() const { return d_->format; }

int PageFile::pageCount() const { return d_->format == PageFormat::Pdf ? d_->pdf.pageCount() : 1; }

QSizeF PageFile::inches(int page) const
{
    if (page < 1 || page > pageCount())
        throw PictureError(QString("%1 has %2 %3; there is no page %4.")
                               .arg(quoted(name_))
                               .arg(pageCount())
                               .arg(pageCount() == 1 ? "page" : "pages")
                               .arg(page)
                               .toStdString());
    if (d_->format == PageFormat::Svg)
        return d_->svgInches;
    return d_->pdf.pagePointSize(page - 1) / 72.0;
}

QSize PageFile::pixels(int page, int32_t dpi) const
{
    const QSizeF in = inches(page);
    const auto side = [&](double v) { return int(std::clamp<double>(std::round(v * dpi), 0, 2147483647.0)); };
    return QSize(side(in.width()), side(in.height()));
}

int32_t PageFile::mostDpiFor(int page, qint64 limit) const
{
    const QSizeF in = inches(page);
    const auto fits = [&](double dpi) {
        return std::round(in.width() * dpi) * std::round(in.height() * dpi) <= double(limit);
    };
    double dpi = std::floor(std::sqrt(double(limit) / (in.width() * in.height())));
    dpi = std::clamp(dpi, 0.0, 1e7);
    while (dpi > 0 && !fits(dpi))
        --dpi;
    while (dpi < 1e7 && fits(dpi + 1))
        ++dpi;
    return int32_t(dpi);
}

Picture PageFile::render(int page, int32_t dpi, qint64 maxPixels, qint64 memoryBudget) const
{
    if (dpi < 1)
        throw PictureError("The resolution must be at least 1 dpi.");
    const QSize size = pixels(page, dpi); // throws for a page out of range
    const qint64 count = qint64(size.width()) * size.height();
    const QString which = pageCount() > 1 ? QString("Page %1 of %2").arg(page).arg(quoted(name_)) : quoted(name_);
    const auto fitting = [&](qint64 limit) {
        const int32_t most = mostDpiFor(page, limit);
        return most > 0 ? QString(" At most %1 dpi fits.").arg(most) : QString(" No resolution fits.");
    };
    if (count > maxPixels)
        throw PixelLimitError(QString("%1 at %2 dpi would be %3 x %4 pixels, more than the limit of %5 pixels.%6")
                                  .arg(which)
                                  .arg(dpi)
                                  .arg(size.width())
                                  .arg(size.height())
                                  .arg(maxPixels)
                                  .arg(fitting(maxPixels))
                                  .toStdString(),
                              size, maxPixels);
    const qint64 budget = memoryBudget >= 0 ? memoryBudget : pictureMemoryBudget();
    if (count * 4 > budget)
        throw PictureError(QString("%1 at %2 dpi would be %3 x %4 pixels, which need %5 MB of memory, but only %6 MB "
                                   "are free.%7")
                               .arg(which)
                               .arg(dpi)
                               .arg(size.width())
                               .arg(size.height())
                               .arg((count * 4) >> 20)
                               .arg(budget >> 20)
                               .arg(fitting(budget / 4))
                               .toStdString());
    // Without a platform, Qt ends the program at the first text it draws.
    if (d_->format == PageFormat::Svg && !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw PictureError(QString("%1 cannot be drawn without fonts: the program was started without a "
                                   "graphics platform.")
                               .arg(which)
                               .toStdString());
    if (size.width() < 1 || size.height() < 1)
        throw PictureError(QString("%1 at %2 dpi is less than a pixel; choose a higher resolution.")
                               .arg(which)
                               .arg(dpi)
                               .toStdString());
    try {
        QImage image = renderedAt(page, size);
        if (image.isNull())
            throw PictureError(QString("%1 cannot be drawn at %2 dpi.").arg(which).arg(dpi).toStdString());
        return {toScanPixels(std::move(image)), "24", 0, -1, {}};
    } catch (const std::bad_alloc&) {
        throw PictureError(QString("There is not enough memory for %1 at %2 dpi.").arg(which).arg(dpi).toStdString());
    }
}

QImage PageFile::thumbnail(int page, int longSide) const
{
    const QSizeF in = inches(page);
    const double scale = longSide / std::max(in.width(), in.height());
    const QSize size(std::max(1, int(std::round(in.width() * scale))),
                     std::max(1, int(std::round(in.height() * scale))));
    return toScanPixels(renderedAt(page, size));
}

QString PageFile::pictureName(const QString& fileName, PageFormat format, int page, int32_t dpi)
{
    if (format == PageFormat::Pdf)
        return QString("%1, page %2 at %3 dpi").arg(fileName).arg(page).arg(dpi);
    return QString("%1 at %2 dpi").arg(fileName).arg(dpi);
}

QImage PageFile::renderedAt(int page, QSize size) const
{
    Document& d = *d_;
    if (d.format == PageFormat::Pdf)
        return d.pdf.render(page - 1, size);
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    d.svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

Picture loadPage(const QString& path, int page, int32_t dpi, qint64 maxPixels, qint64 memoryBudget)
{
    const PageFile file(path);
    return file.render(file.servedPage(page), dpi, maxPixels, memoryBudget);
}

} // namespace plotrun
