#include "model/manager/PageRenderer.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "fbarcode/QRCode.h"
#include "model/Jpeg.h"
#include "model/manager/PrintMgrImpl.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <algorithm>

namespace {

// GDI pens wider than a pixel end and join round; the outline and line items
// were designed with that look.
Qt::PenStyle QtPenStyle(TPenStyle style) {
    switch (style) {
    case psDash:
        return Qt::DashLine;
    case psDot:
        return Qt::DotLine;
    case psDashDot:
        return Qt::DashDotLine;
    case psDashDotDot:
        return Qt::DashDotDotLine;
    case psClear:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

void PaintText(QPainter& canvas, const TPreparedText& text) {
    canvas.setFont(text.Font);
    canvas.setPen(text.Color);
    const QFontMetricsF fm(text.Font, canvas.device());
    for (const auto& [at, line] : text.Lines) {
        canvas.save();
        canvas.translate(at);
        if (text.Orientation != 0)
            canvas.rotate(-text.Orientation / 10.0);
        if (text.Extra == 0) {
            // Opaque text: the cells are white over whatever lies beneath.
            canvas.fillRect(QRectF(0, 0, fm.horizontalAdvance(line), text.CellHeight), Qt::white);
            canvas.drawText(QPointF(0, text.Ascent), line);
        } else {
            // Placed character by character so that the extra space is exactly
            // Extra device pixels at any resolution.
            qreal pos = 0;
            for (qsizetype i = 0; i < line.size();) {
                const qsizetype n = line[i].isHighSurrogate() && i + 1 < line.size() ? 2 : 1;
                const QString ch = line.mid(i, n);
                const qreal advance = fm.horizontalAdvance(ch) + text.Extra;
                canvas.fillRect(QRectF(pos, 0, advance, text.CellHeight), Qt::white);
                canvas.drawText(QPointF(pos, text.Ascent), ch);
                pos += advance;
                i += n;
            }
        }
        canvas.restore();
    }
    TPageRenderer::PaintOutline(canvas, text.Outline, text.Pen);
}

struct PaintVisitor {
    QPainter& canvas;
    void operator()(const TPreparedText& t) const { PaintText(canvas, t); }
    void operator()(const TPreparedLine& l) const {
        if (l.Pen.Style == psClear)
            return;
        canvas.setPen(MakePen(l.Pen));
        canvas.drawLine(l.From, l.To);
    }
    void operator()(const TPreparedImage& i) const {
        if (i.Target.width() > 0 && i.Target.height() > 0)
            canvas.drawImage(i.Target, i.Image);
        TPageRenderer::PaintOutline(canvas, i.Outline, i.Pen);
    }
    void operator()(const TPreparedBarcode& b) const { PaintBarcode(canvas, b.Layout); }
    void operator()(const TPreparedQR& q) const {
        canvas.save();
        canvas.setRenderHint(QPainter::Antialiasing, false);
        canvas.fillRect(q.Target, Qt::white);
        // One fill colour for all dark runs: the PDF job sets it once.
        canvas.setPen(Qt::NoPen);
        canvas.setBrush(Qt::black);
        canvas.drawRects(q.Dark.data(), int(q.Dark.size()));
        canvas.restore();
    }
};

} // namespace

QPen MakePen(const TPenSettings& settings) {
    return QPen(settings.Color, settings.Width, QtPenStyle(settings.Style), Qt::RoundCap,
                Qt::RoundJoin);
}

TPenSettings ItemPen(const TTextItem& item) {
    return {item.OutlinePenWidth(), ColorToQColor(item.OutlinePenColor()), item.OutlinePenStyle()};
}

TPageRenderer::TPageRenderer(const TDeviceMetrics& metrics, int offsetX, int offsetY,
                             const QPaintDevice* device)
    : FMetrics(metrics), FOffsetX(offsetX), FOffsetY(offsetY), FDevice(device) {}

TPageRenderer::~TPageRenderer() = default;

QPoint TPageRenderer::Place(double x, double y) const {
    return PlacePoint(FMetrics, FOffsetX, FOffsetY, x, y);
}

int TPageRenderer::Xmm(long double mm) const {
    return MmToPixels(mm, FMetrics.DpiX);
}
int TPageRenderer::Ymm(long double mm) const {
    return MmToPixels(mm, FMetrics.DpiY);
}

TPreparedPage TPageRenderer::Prepare(const TCPrint& page) {
    TPreparedPage prepared;
    const TCLines& lines = page.Lines();
    for (int l = 0; l < lines.Count(); ++l) {
        const TLineOfText& line = *lines.Items(l);
        auto& out = prepared.Lines.emplace_back();
        for (int i = 0; i < line.Count(); ++i)
            out.push_back(PrepareItem(*line.Items(i)));
    }
    return prepared;
}

TPreparedItem TPageRenderer::PrepareItem(const TTextItem& item) {
    try {
        switch (item.ItemType()) {
        case 2:
            return PrepareLine(item.x(), item.y(), item.TextWidth(), item.LineHeight(),
                               ItemPen(item));
        case 3:
            return PrepareBarcode(item);
        case 4:
            return PrepareQR(item);
        case 5:
            return PrepareImage(item);
        default:
            return PrepareText(item);
        }
    } catch (const Exception& e) {
        throw EPrintItemError(
            QStringLiteral("打印项 \"%1\" 无法打印：%2").arg(item.ItemName(), e.Message()),
            item.ItemName());
    }
}

TPreparedText TPageRenderer::PrepareText(const TTextItem& item) {
    TPreparedText t;
    const TFont font = item.Font() ? *item.Font() : TFont();
    t.Font = font.toQFont();
    t.Color = font.qcolor();
    t.Orientation = RoundHalfEven(static_cast<long double>(item.RotateDegree()) * 10);
    t.Extra = item.ItemCharExtra();
    t.Pen = ItemPen(item);
    const QFontMetrics fm(t.Font, const_cast<QPaintDevice*>(FDevice));
    const QFontMetricsF fmf(t.Font, const_cast<QPaintDevice*>(FDevice));
    t.CellHeight = fm.height();
    t.Ascent = fmf.ascent();
    const QPoint p = Place(item.x(), item.y());
    const long double lineStep = static_cast<long double>(t.CellHeight) * item.LineHeight();
    const int marginX = Xmm(item.OutlineMargin());
    const int marginY = Ymm(item.OutlineMargin());
    const QString& text = item.Text();
    auto width = [&](const QString& s) {
        return fm.horizontalAdvance(s) + qint64(t.Extra) * s.size();
    };
    qint64 boxWidth;
    int lastY = p.y();
    if (item.AllowNewLine()) {
        boxWidth = Xmm(item.TextWidth());
        const qreal limit = qreal(boxWidth) - width(QStringLiteral("X"));
        const auto lines = WrapText(text, limit, t.Extra,
                                    [&](const QString& ch) { return fm.horizontalAdvance(ch); });
        for (std::size_t n = 0; n < lines.size(); ++n) {
            lastY = RoundHalfEven(static_cast<long double>(n) * lineStep + p.y());
            t.Lines.push_back({QPoint(p.x(), lastY), lines[n]});
        }
    } else {
        boxWidth = item.TextWidth() == 0 ? width(text) : Xmm(item.TextWidth());
        t.Lines.push_back({p, text});
    }
    t.Outline =
        QRect(QPoint(p.x() - marginX, p.y() - marginY),
              QPoint(RoundHalfEven(static_cast<long double>(p.x()) + boxWidth + marginX),
                     RoundHalfEven(static_cast<long double>(lastY) + t.CellHeight + marginY)));
    return t;
}

TPreparedLine TPageRenderer::PrepareLine(double x1, double y1, double x2, double y2,
                                         const TPenSettings& pen) const {
    return {Place(x1, y1), Place(x2, y2), pen};
}

QImage TPageRenderer::Picture(const QByteArray& jpeg, const QSize& dots) {
    auto picture = std::find_if(FPictures.begin(), FPictures.end(),
                                [&](const TPicture& p) { return p.Jpeg == jpeg; });
    if (picture == FPictures.end()) {
        FPictures.push_back({jpeg, DecodeJpeg(jpeg), {}});
        picture = std::prev(FPictures.end());
    }
    const QSize size = picture->Decoded.size().boundedTo(dots);
    if (size.isEmpty() || (size == picture->Decoded.size() && !FBlackDotsOnly))
        return picture->Decoded;
    for (const QImage& scaled : picture->Scaled)
        if (scaled.size() == size && (scaled.format() == QImage::Format_Mono) == FBlackDotsOnly)
            return scaled;
    QImage ready = size == picture->Decoded.size()
                       ? picture->Decoded
                       : picture->Decoded.scaled(size, Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation);
    // Ghostscript would halftone a grey picture again on every page of the job;
    // diffused into the printer's dots once, it goes in as 1 bit a dot.
    if (FBlackDotsOnly) {
        ready = ready.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::DiffuseDither);
        // The PDF writer keeps 1 bit a dot only for the table black, white.
        const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
        if (ready.colorCount() == 2 && ready.color(0) == white && ready.color(1) == black) {
            ready.invertPixels();
            ready.setColorTable({black, white});
        }
    }
    picture->Scaled.push_back(ready);
    return picture->Scaled.back();
}

TPreparedImage TPageRenderer::PrepareImage(const TTextItem& item) {
    TPreparedImage i;
    const QPoint p = Place(item.x(), item.y());
    i.Target = QRect(p, QSize(Xmm(item.TextWidth()), Ymm(item.LineHeight())));
    i.Image = Picture(item.ImageBody(), i.Target.size());
    const int mx = Xmm(item.OutlineMargin()), my = Ymm(item.OutlineMargin());
    // The outline runs around (Px, Py, Px + width, Py + height), grown by the margins.
    i.Outline = QRect(QPoint(p.x() - mx, p.y() - my),
                      QPoint(p.x() + i.Target.width() + mx, p.y() + i.Target.height() + my));
    i.Pen = ItemPen(item);
    return i;
}

TPreparedBarcode TPageRenderer::PrepareBarcode(const TTextItem& item) const {
    TBarcodeSettings s;
    s.Text = item.Text();
    // Barcodes are placed from the printable area's corner, at the vertical
    // resolution, without the page offsets: stored labels rely on it.
    s.Top = ConvertMmToPixelsY(item.y(), FMetrics);
    s.Left = ConvertMmToPixelsY(item.x(), FMetrics);
    s.Height = ConvertMmToPixelsY(item.LineHeight(), FMetrics);
    s.Typ = TBarcodeType(item.BarcodeType());
    s.ShowText = TBarcodeOption(item.BarcodeOption());
    s.Position = TShowTextPosition(item.BarcodePosition());
    s.TextOffsetX = item.BarcodeTextOffsetX();
    s.TextOffsetY = item.BarcodeTextOffsetY();
    s.CharExtra = item.ItemCharExtra();
    const qint64 module = ModuleDots(item.BarcodeModule(), FMetrics.DpiY);
    if (const QString refusal = ModuleRefusal(item.BarcodeModule(), module, FMetrics.DpiY);
        !refusal.isEmpty())
        throw EBarcodeError(refusal);
    s.Module = int(module);
    s.BarReduction = std::max(0, FBarReduction);
    s.Ratio = item.BarcodeRatio();
    if (item.Font()) {
        s.Font = item.Font()->toQFont();
        s.FontColor = item.Font()->qcolor();
    }
    s.Checksum = item.AllowNewLine();
    s.Angle = item.RotateDegree();
    return {LayoutBarcode(s, FDevice)};
}

TPreparedQR TPageRenderer::PrepareQR(const TTextItem& item) {
    TPreparedQR q;
    const QPoint p = Place(item.x(), item.y());
    const qreal w = Xmm(item.TextWidth()), h = Ymm(item.LineHeight());
    q.Target = QRectF(p.x(), p.y(), w, h);
    const TQRKey key{item.Text(), item.QRcodeEncoding(), item.QRcodeQuietZone()};
    auto cached = std::find_if(FSymbols.begin(), FSymbols.end(),
                               [&](const auto& entry) { return entry.first == key; });
    if (cached == FSymbols.end()) {
        if (FSymbols.size() >= 16)
            FSymbols.erase(FSymbols.begin());
        FSymbols.push_back({key, std::make_shared<const TQRSymbol>(
                                     QREncode(key.Text, key.Encoding, key.QuietZone))});
        cached = std::prev(FSymbols.end());
    }
    const TQRSymbol& symbol = *cached->second;
    const int n = symbol.Size;
    q.Modules = n;
    q.QuietZone = symbol.QuietZone;
    // Modules are stretched to the rectangle; each edge is rounded to a whole
    // pixel from the symbol's corner, so every module is one of two whole sizes
    // and every edge is on the printer's grid. The inset makes both fill rules a
    // raster printer may use fill exactly those dots.
    // Worked out once per symbol: a page of per-page symbols rounds 2n edges, not 4 per run.
    std::vector<int> xs(n + 1), ys(n + 1);
    for (int i = 0; i <= n; ++i) {
        xs[i] = p.x() + RoundHalfEven(static_cast<long double>(i) * w / n);
        ys[i] = p.y() + RoundHalfEven(static_cast<long double>(i) * h / n);
    }
    const auto edgeX = [&](int i) { return xs[i]; };
    const auto edgeY = [&](int i) { return ys[i]; };
    for (int r = 0; r < n; ++r) {
        int c = 0;
        while (c < n) {
            if (!symbol.Dark(r, c)) {
                ++c;
                continue;
            }
            const int start = c;
            while (c < n && symbol.Dark(r, c))
                ++c;
            q.Dark.push_back(QRectF(QPointF(edgeX(start), edgeY(r)), QPointF(edgeX(c), edgeY(r + 1)))
                                 .adjusted(BarInset, BarInset, -BarInset, -BarInset));
        }
    }
    return q;
}

void TPageRenderer::Paint(QPainter& canvas, const TPreparedPage& page) {
    for (const auto& line : page.Lines)
        for (const TPreparedItem& item : line)
            Paint(canvas, item);
}

void TPageRenderer::Paint(QPainter& canvas, const TPreparedItem& item) {
    std::visit(PaintVisitor{canvas}, item);
}

void TPageRenderer::PaintOutline(QPainter& canvas, const QRect& r, const TPenSettings& pen) {
    if (pen.Style == psClear)
        return;
    canvas.save();
    canvas.setPen(MakePen(pen));
    canvas.setBrush(Qt::NoBrush);
    const QPoint corners[5] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(),
                               r.topLeft()};
    canvas.drawPolyline(corners, 5);
    canvas.restore();
}
