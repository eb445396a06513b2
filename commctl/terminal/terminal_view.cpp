#include "terminal/terminal_view.h"

#include "control/tolvexcomm_ctrl.h"
#include "common/cp932.h"
#include "terminal/render.h"
#include "terminal/terminal.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace tolvex::terminal {

namespace {

constexpr int kFrameMs = 16;  // at most one repaint per frame

QColor Colour(int index)
{
    const std::uint32_t bgr = control::PaletteColour(index);
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

}  // namespace

TerminalView::TerminalView(control::CTolvexcommCtrl& control, QWidget& widget)
    : control_(control), widget_(widget), scrollBar_(new QScrollBar(Qt::Vertical, &widget)),
      columnBar_(new QScrollBar(Qt::Horizontal, &widget))
{
    frame_.setSingleShot(true);
    frame_.setInterval(kFrameMs);
    QObject::connect(&frame_, &QTimer::timeout, &widget_, [this] {
        if (followCursor_) ScrollToCursor();
        followCursor_ = false;
        widget_.update();
    });
    QObject::connect(scrollBar_.data(), &QScrollBar::valueChanged, &widget_, [this](int value) {
        // The user scrolled: the view stays where it was put until it is
        // back at the bottom.
        if (adjusting_) return;  // the view's own move: its repaint is already due
        pinned_ = value >= scrollBar_->maximum();
        widget_.update();
    });
    QObject::connect(columnBar_.data(), &QScrollBar::valueChanged, &widget_, [this] { widget_.update(); });
    scrollBar_->hide();
    columnBar_->hide();
    widget_.setFocusPolicy(Qt::StrongFocus);
    widget_.setAttribute(Qt::WA_OpaquePaintEvent);
}

TerminalView::~TerminalView() = default;

QFont TerminalView::TerminalFont() const
{
    const auto& stock = control_.Font();
    QFont font(QString::fromStdString(Cp932ToUtf8(stock.name, "?", nullptr)));
    font.setPointSizeF(std::max(1.0, static_cast<double>(stock.sizeCy) / 10000.0));
    font.setBold(stock.bold);
    font.setItalic(stock.italic);
    font.setUnderline(stock.underline);
    // A terminal needs even cells: a proportional face gives way to the
    // system's fixed-pitch font in the same size.
    if (!QFontInfo(font).fixedPitch()) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(font.pointSizeF());
        fixed.setBold(stock.bold);
        fixed.setItalic(stock.italic);
        fixed.setUnderline(stock.underline);
        font = fixed;
    }
    return font;
}

QSize TerminalView::CellSize() const
{
    const QFontMetrics m(TerminalFont());
    return QSize(std::max(1, m.horizontalAdvance(QLatin1Char('M'))), std::max(1, m.height()));
}

void TerminalView::Changed()
{
    followCursor_ = followCursor_ || control_.Terminal().AutoScroll() != 0;
    if (!frame_.isActive()) frame_.start();
}

void TerminalView::Layout()
{
    Terminal* t = control_.Terminal().Core();
    if (!t) {
        scrollBar_->hide();
        columnBar_->hide();
        return;
    }
    // A vertical bar when not all rows fit or there is a history, a
    // horizontal one when not all columns fit (each bar takes room from the
    // other direction).
    const QSize cell = CellSize();
    const int barWidth = scrollBar_->sizeHint().width();
    const int barHeight = columnBar_->sizeHint().height();
    bool bar = t->ScrollRows() > 0 || widget_.height() / cell.height() < t->Rows();
    bool columnBar = (widget_.width() - (bar ? barWidth : 0)) / cell.width() < t->Columns();
    if (!bar && columnBar) bar = (widget_.height() - barHeight) / cell.height() < t->Rows();
    const int height = widget_.height() - (columnBar ? barHeight : 0);
    const int width = widget_.width() - (bar ? barWidth : 0);
    const int visible = std::max(1, std::min(t->Rows(), height / cell.height()));
    const int visibleColumns = std::max(1, std::min(t->Columns(), width / cell.width()));
    const int lines = t->ScrollRows() + t->Rows();
    scrollBar_->setGeometry(widget_.width() - barWidth, 0, barWidth, height);
    scrollBar_->setVisible(bar);
    columnBar_->setGeometry(0, widget_.height() - barHeight, width, barHeight);
    columnBar_->setVisible(columnBar);
    columnBar_->setRange(0, columnBar ? t->Columns() - visibleColumns : 0);
    columnBar_->setPageStep(visibleColumns);
    columnBar_->setSingleStep(1);
    adjusting_ = true;
    scrollBar_->setRange(0, std::max(0, lines - visible));
    scrollBar_->setPageStep(visible);
    scrollBar_->setSingleStep(1);
    if (pinned_) scrollBar_->setValue(scrollBar_->maximum());
    adjusting_ = false;
}

void TerminalView::ScrollToCursor()
{
    Terminal* t = control_.Terminal().Core();
    if (!t) return;
    Layout();
    const int visible = scrollBar_->pageStep();
    const int cursorLine = t->ScrollRows() + t->CursorRow() - 1;
    adjusting_ = true;
    if (control_.Terminal().AutoScroll() == 2) {
        // HORIZONTAL: the rows stay where they are.
    } else if (visible >= t->Rows()) {
        // The whole screen fits: show it.
        scrollBar_->setValue(scrollBar_->maximum());
    } else if (cursorLine < scrollBar_->value()) {
        scrollBar_->setValue(cursorLine);
    } else if (cursorLine >= scrollBar_->value() + visible) {
        scrollBar_->setValue(cursorLine - visible + 1);
    }
    adjusting_ = false;
    pinned_ = scrollBar_->value() >= scrollBar_->maximum();
    // HORIZONTAL and BOTH also follow the cursor's column.
    const int mode = control_.Terminal().AutoScroll();
    if ((mode == 2 || mode == 3) && columnBar_->isVisible()) {
        const int column = t->CursorColumn() - 1;
        const int columns = columnBar_->pageStep();
        if (column < columnBar_->value()) columnBar_->setValue(column);
        else if (column >= columnBar_->value() + columns) columnBar_->setValue(column - columns + 1);
    }
}

void TerminalView::Resized() { Layout(); }

bool TerminalView::Paint(QPainter& painter)
{
    Terminal* t = control_.Terminal().Core();
    if (!t) return false;
    ++paints_;
    Layout();
    (void)t->TakeDamage();
    control::TerminalPart& part = control_.Terminal();
    const QFont font = TerminalFont();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QSize cell = CellSize();
    const int filter = part.ColorFilter();
    const int refFore = part.ReferenceFore();
    const int refBack = part.ReferenceBack();
    const ColourPair blank = FilterColours(control_.ForeColor(), control_.BackColor(), filter, refFore, refBack);
    painter.fillRect(widget_.rect(), Colour(blank.back));
    // Appearance 3-D: a sunken border of two pixels around the cells.
    const int border = control_.Appearance() == 1 ? 2 : 0;
    if (border > 0) {
        const QRect r = widget_.rect().adjusted(0, 0, -1, -1);
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(QColor(255, 255, 255));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        painter.translate(border, border);
    }

    // Double-width cells in a CJK face stretched over their two cells, so
    // box-drawing characters join up.
    QFont wide(QStringLiteral("Noto Sans Mono CJK JP"));
    wide.setPixelSize(std::max(1, QFontInfo(font).pixelSize()));
    wide.setBold(font.bold());
    const QFontMetrics wideMetrics(wide);

    const Screen& screen = t->View();
    const int first = scrollBar_->isVisible() ? scrollBar_->value() : t->ScrollRows();
    if (columnBar_->isVisible()) painter.translate(-columnBar_->value() * cell.width(), 0);
    const int visible = std::max(1, std::min(t->Rows(), widget_.height() / cell.height() + 1));
    for (int line = first; line < std::min(first + visible, t->ScrollRows() + t->Rows()); ++line) {
        const int row = line - t->ScrollRows();
        const std::string_view bytes = screen.LineBytes(row);
        const Attribute* attrs = screen.LineAttributes(row);
        const int y = (line - first) * cell.height();
        int c = 0;
        while (c < t->Columns()) {
            // A run of cells in one attribute, drawn at its cell positions.
            const Attribute colours = attrs[c] & kColourBits;
            int end = c + 1;
            while (end < t->Columns() && (attrs[end] & kColourBits) == colours) ++end;
            const ColourPair drawn = FilterColours(colours & 15, colours >> 4, filter, refFore, refBack);
            painter.fillRect(c * cell.width(), y, (end - c) * cell.width(), cell.height(), Colour(drawn.back));
            painter.setPen(Colour(drawn.fore));
            for (int k = c; k < end;) {
                // Printable ASCII in a fixed-pitch face goes in one piece;
                // other cells one by one at their positions.
                const auto plainAscii = [&](int i) {
                    const auto b = static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]);
                    return b >= 0x20 && b < 0x7F && !(attrs[i] & (kLeadHalf | kTrailHalf | kLineDrawing));
                };
                if (plainAscii(k)) {
                    int j = k + 1;
                    while (j < end && plainAscii(j)) ++j;
                    const std::string_view run = bytes.substr(static_cast<std::size_t>(k), static_cast<std::size_t>(j - k));
                    if (run.find_first_not_of(' ') != std::string_view::npos)
                        painter.drawText(k * cell.width(), y + metrics.ascent(),
                                         QString::fromLatin1(run.data(), static_cast<int>(run.size())));
                    k = j;
                    continue;
                }
                const int width = (attrs[k] & kLeadHalf) && k + 1 < t->Columns() ? 2 : 1;
                const std::string_view cellBytes = bytes.substr(static_cast<std::size_t>(k), static_cast<std::size_t>(width));
                const std::string utf8 = LineUtf8(cellBytes, attrs + k);
                const QString text = QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
                if (width == 2) {
                    const int advance = std::max(1, wideMetrics.horizontalAdvance(text));
                    painter.save();
                    painter.setFont(wide);
                    painter.translate(k * cell.width(), y + metrics.ascent());
                    painter.scale(2.0 * cell.width() / advance, 1.0);
                    painter.drawText(0, 0, text);
                    painter.restore();
                } else if (!text.isEmpty()) {
                    painter.drawText(k * cell.width(), y + metrics.ascent(), text);
                }
                k += width;
            }
            c = end;
        }
    }
    // The caret, while the window has the focus.
    if (widget_.hasFocus()) {
        const int line = t->ScrollRows() + t->CursorRow() - 1 - first;
        if (line >= 0 && line < visible) {
            const QRect at((t->CursorColumn() - 1) * cell.width(), line * cell.height(), cell.width(), cell.height());
            if (part.CursorType() == 1) {
                painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
                painter.fillRect(at, Qt::white);
                painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            } else {
                painter.fillRect(QRect(at.left(), at.top(), 2, at.height()), Colour(blank.fore));
            }
        }
    }
    return true;
}

bool TerminalView::Key(QKeyEvent& e)
{
    control::TerminalPart& part = control_.Terminal();
    if (!part.Core()) return false;
    switch (e.key()) {
    case Qt::Key_Left: part.TypeSpecialKey(SpecialKey::kLeft); break;
    case Qt::Key_Up: part.TypeSpecialKey(SpecialKey::kUp); break;
    case Qt::Key_Right: part.TypeSpecialKey(SpecialKey::kRight); break;
    case Qt::Key_Down: part.TypeSpecialKey(SpecialKey::kDown); break;
    case Qt::Key_Delete: part.TypeSpecialKey(SpecialKey::kDelete); break;
    case Qt::Key_F1: part.TypeSpecialKey(SpecialKey::kF1); break;
    case Qt::Key_F2: part.TypeSpecialKey(SpecialKey::kF2); break;
    case Qt::Key_F3: part.TypeSpecialKey(SpecialKey::kF3); break;
    case Qt::Key_F4: part.TypeSpecialKey(SpecialKey::kF4); break;
    case Qt::Key_Tab: part.TypeCharacter(0x09); break;
    case Qt::Key_Backspace: part.TypeCharacter(0x08); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: part.TypeCharacter(0x0D); break;
    case Qt::Key_Escape: part.TypeCharacter(0x1B); break;
    default: {
        const QByteArray utf8 = e.text().toUtf8();
        if (utf8.isEmpty()) return false;
        // Each character as KeyPress delivers it: a double-byte one in one
        // 16-bit value, lead byte high.
        const std::string bytes = Utf8ToCp932(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), nullptr);
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (IsLeadByte(p[i]) && i + 1 < bytes.size()) {
                part.TypeCharacter(static_cast<std::int16_t>((p[i] << 8) | p[i + 1]));
                ++i;
            } else {
                part.TypeCharacter(p[i]);
            }
        }
        break;
    }
    }
    // VERTKEY: the view follows the cursor after each typed key.
    if (part.AutoScroll() == 4) ScrollToCursor();
    return true;
}

}  // namespace tolvex::terminal
