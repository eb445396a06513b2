#include "terminal/screen.h"

#include <algorithm>
#include <cstring>

namespace tolvex::terminal {

namespace {

std::string_view TrimRight(std::string_view line)
{
    std::size_t n = line.size();
    while (n > 0 && line[n - 1] == ' ') --n;
    return line.substr(0, n);
}

}  // namespace

Screen::Screen(int rows, int columns, int scrollRows, Attribute blank)
    : rows_(std::max(rows, 1)), columns_(std::max(columns, 1)), scrollRows_(std::max(scrollRows, 0))
{
    total_ = rows_ + scrollRows_;
    bytes_.assign(static_cast<std::size_t>(total_) * columns_, ' ');
    attrs_.assign(static_cast<std::size_t>(total_) * columns_, static_cast<Attribute>(blank & kColourBits));
    damageTop_ = 0;
    damageBottom_ = rows_ - 1;
}

int Screen::LineIndex(int row) const
{
    int logical = scrollRows_ + row;
    int index = first_ + logical;
    return index >= total_ ? index - total_ : index;
}

std::string_view Screen::LineBytes(int row) const
{
    return std::string_view(bytes_.data() + static_cast<std::size_t>(LineIndex(row)) * columns_,
                            static_cast<std::size_t>(columns_));
}

const Attribute* Screen::LineAttributes(int row) const
{
    return attrs_.data() + static_cast<std::size_t>(LineIndex(row)) * columns_;
}

std::string Screen::LineText(int row) const { return std::string(TrimRight(LineBytes(row))); }

std::string Screen::Text() const
{
    std::string out;
    for (int r = 0; r < rows_; ++r) {
        if (r > 0) out += "\r\n";
        out += TrimRight(LineBytes(r));
    }
    return out;
}

std::string Screen::ScrollText() const
{
    std::string out;
    for (int h = 0; h < scrollRows_; ++h) {
        if (h > 0) out += "\r\n";
        out += TrimRight(LineBytes(h - scrollRows_));
    }
    return out;
}

std::vector<std::string> Screen::ScreenLines() const
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(rows_));
    for (int r = 0; r < rows_; ++r) lines.push_back(LineText(r));
    return lines;
}

void Screen::Touch(int top, int bottom)
{
    damageTop_ = std::min(damageTop_, top);
    damageBottom_ = std::max(damageBottom_, bottom);
}

Screen::Damage Screen::TakeDamage()
{
    Damage d{damageTop_, damageBottom_, scrolled_};
    damageTop_ = rows_;
    damageBottom_ = -1;
    scrolled_ = false;
    return d;
}

void Screen::BlankLine(int row, Attribute attr)
{
    std::memset(Bytes(row), ' ', static_cast<std::size_t>(columns_));
    std::fill_n(Attrs(row), columns_, static_cast<Attribute>(attr & kColourBits));
}

void Screen::Clear(Attribute attr, bool history)
{
    for (int r = history ? -scrollRows_ : 0; r < rows_; ++r) BlankLine(r, attr);
    Touch(0, rows_ - 1);
}

void Screen::BlankCell(char* bytes, Attribute* attrs, int column)
{
    bytes[column] = ' ';
    attrs[column] &= kColourBits;
}

void Screen::SplitAt(char* bytes, Attribute* attrs, int column)
{
    if (column < 0 || column >= columns_) return;
    if ((attrs[column] & kTrailHalf) && column > 0) BlankCell(bytes, attrs, column - 1);
    else if ((attrs[column] & kLeadHalf) && column + 1 < columns_) BlankCell(bytes, attrs, column + 1);
}

void Screen::PutText(int row, int column, std::string_view text, Attribute attr)
{
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_ || text.empty()) return;
    const int n = std::min<int>(static_cast<int>(text.size()), columns_ - column);
    char* bytes = Bytes(row);
    Attribute* attrs = Attrs(row);
    // A double-byte character cut at either end loses its other half.
    SplitAt(bytes, attrs, column);
    if (column + n < columns_ && (attrs[column + n] & kTrailHalf)) BlankCell(bytes, attrs, column + n);
    const Attribute colours = attr & kColourBits;
    const bool drawing = (attr & kLineDrawing) != 0;
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::memcpy(bytes + column, text.data(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            attrs[column + i] =
                drawing && b >= 0x60 && b <= 0x7E ? static_cast<Attribute>(colours | kLineDrawing) : colours;
        } else if (IsLeadByte(b) && i + 1 < n && IsTrailByte(p[i + 1])) {
            attrs[column + i] = colours | kLeadHalf;
            attrs[column + i + 1] = colours | kTrailHalf;
            ++i;
        } else {
            attrs[column + i] = colours;
        }
    }
    Touch(row, row);
}

void Screen::MoveCursor(int row, int column)
{
    if (row != cursorRow_) Touch(cursorRow_, cursorRow_);
    cursorRow_ = row;
    cursorColumn_ = column;
    Touch(row, row);
}

void Screen::ScrollUp(int lines, Attribute attr)
{
    lines = std::min(lines, total_);
    for (int i = 0; i < lines; ++i) {
        if (callbacks_) callbacks_->LineScrolledOff(TrimRight(LineBytes(0)));
        // The oldest line of the ring becomes the new bottom line.
        first_ = first_ + 1 == total_ ? 0 : first_ + 1;
        BlankLine(rows_ - 1, attr);
    }
    scrolled_ = true;
    Touch(0, rows_ - 1);
}

void Screen::ScrollDown(int lines, Attribute attr)
{
    lines = std::min(lines, rows_);
    const std::size_t width = static_cast<std::size_t>(columns_);
    for (int r = rows_ - 1; r >= lines; --r) {
        std::memcpy(Bytes(r), Bytes(r - lines), width);
        std::memcpy(Attrs(r), Attrs(r - lines), width * sizeof(Attribute));
    }
    for (int r = 0; r < lines; ++r) BlankLine(r, attr);
    scrolled_ = true;
    Touch(0, rows_ - 1);
}

void Screen::Erase(int row, int first, int last, Attribute attr)
{
    if (row < 0 || row >= rows_) return;
    first = std::max(first, 0);
    last = std::min(last, columns_ - 1);
    if (first > last) return;
    char* bytes = Bytes(row);
    Attribute* attrs = Attrs(row);
    SplitAt(bytes, attrs, first);
    if (last + 1 < columns_ && (attrs[last + 1] & kTrailHalf)) BlankCell(bytes, attrs, last + 1);
    std::memset(bytes + first, ' ', static_cast<std::size_t>(last - first + 1));
    std::fill(attrs + first, attrs + last + 1, static_cast<Attribute>(attr & kColourBits));
    Touch(row, row);
}

int Screen::CellHalf(int row, int column) const
{
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return 0;
    const Attribute a = LineAttributes(row)[column];
    return (a & kLeadHalf) ? 1 : (a & kTrailHalf) ? 2 : 0;
}

int Screen::Resize(int rows, int columns, int cursorRow, Attribute blank)
{
    rows = std::max(rows, 1);
    columns = std::max(columns, 1);
    const int shift = std::max(0, cursorRow - rows + 1);
    const int total = rows + scrollRows_;
    std::vector<char> bytes(static_cast<std::size_t>(total) * columns, ' ');
    std::vector<Attribute> attrs(static_cast<std::size_t>(total) * columns,
                                 static_cast<Attribute>(blank & kColourBits));
    const int keep = std::min(columns, columns_);
    for (int line = 0; line < total; ++line) {
        const int source = line + shift;
        if (source >= total_) break;
        const int oldRow = source - scrollRows_;
        char* to = bytes.data() + static_cast<std::size_t>(line) * columns;
        Attribute* toAttrs = attrs.data() + static_cast<std::size_t>(line) * columns;
        std::memcpy(to, LineBytes(oldRow).data(), static_cast<std::size_t>(keep));
        std::copy_n(LineAttributes(oldRow), keep, toAttrs);
        // A double-byte character cut by the new right edge goes.
        if ((toAttrs[keep - 1] & kLeadHalf) && keep < columns_) {
            to[keep - 1] = ' ';
            toAttrs[keep - 1] &= static_cast<Attribute>(~kLeadHalf);
        }
    }
    rows_ = rows;
    columns_ = columns;
    total_ = total;
    first_ = 0;
    bytes_ = std::move(bytes);
    attrs_ = std::move(attrs);
    cursorRow_ = std::min(std::max(cursorRow - shift, 0), rows_ - 1);
    cursorColumn_ = std::min(cursorColumn_, columns_);
    damageTop_ = 0;
    damageBottom_ = rows_ - 1;
    scrolled_ = true;
    return cursorRow_;
}

void Screen::SetScrollRows(int scrollRows, Attribute blank)
{
    scrollRows = std::max(scrollRows, 0);
    if (scrollRows == scrollRows_) return;
    const int total = rows_ + scrollRows;
    std::vector<char> bytes(static_cast<std::size_t>(total) * columns_, ' ');
    std::vector<Attribute> attrs(static_cast<std::size_t>(total) * columns_,
                                 static_cast<Attribute>(blank & kColourBits));
    // The newest history lines stay.
    for (int line = 0; line < total; ++line) {
        const int row = line - scrollRows;  // screen row, negative in the history
        if (row < -scrollRows_) continue;
        std::memcpy(bytes.data() + static_cast<std::size_t>(line) * columns_, LineBytes(row).data(),
                    static_cast<std::size_t>(columns_));
        std::copy_n(LineAttributes(row), columns_, attrs.data() + static_cast<std::size_t>(line) * columns_);
    }
    scrollRows_ = scrollRows;
    total_ = total;
    first_ = 0;
    bytes_ = std::move(bytes);
    attrs_ = std::move(attrs);
    scrolled_ = true;
    Touch(0, rows_ - 1);
}

}  // namespace tolvex::terminal
