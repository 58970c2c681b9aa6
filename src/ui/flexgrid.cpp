#include "flexgrid.h"

#include <algorithm>
#include <stdexcept>

namespace ui {

namespace {
constexpr int kDefaultColWidth = 960;
}

FlexGrid::FlexGrid() {
    cells_.assign(static_cast<size_t>(rows_), std::vector<Cell>(static_cast<size_t>(cols_)));
    colWidths_.assign(static_cast<size_t>(cols_), kDefaultColWidth);
    rowHeights_.assign(static_cast<size_t>(rows_), -1);
}

const FlexGrid::Cell& FlexGrid::cell(int r, int c) const {
    if (r < 0 || r >= rows_ || c < 0 || c >= cols_) throw std::out_of_range("grid cell out of range");
    return cells_[static_cast<size_t>(r)][static_cast<size_t>(c)];
}

FlexGrid::Cell& FlexGrid::cellMut(int r, int c) { return const_cast<Cell&>(cell(r, c)); }

void FlexGrid::setRows(int n) {
    if (n < 0) throw std::out_of_range("grid rows");
    cells_.resize(static_cast<size_t>(n), std::vector<Cell>(static_cast<size_t>(cols_)));
    rowHeights_.resize(static_cast<size_t>(n), -1);
    rows_ = n;
    if (row_ >= rows_) row_ = std::max(0, rows_ - 1);
    notify();
}

void FlexGrid::setCols(int n) {
    if (n < 0) throw std::out_of_range("grid cols");
    for (auto& r : cells_) r.resize(static_cast<size_t>(n));
    colWidths_.resize(static_cast<size_t>(n), kDefaultColWidth);
    cols_ = n;
    if (col_ >= cols_) col_ = std::max(0, cols_ - 1);
    notify();
}

bool FlexGrid::moveTo(int r, int c) {
    if (r < 0 || r >= rows_ || c < 0 || c >= cols_) throw std::out_of_range("grid current cell out of range");
    if (r == row_ && c == col_) return true;
    // The event runs before the move, while the old cell is still current.
    leaveRefused_ = false;
    if (onLeaveCell) onLeaveCell();
    if (leaveRefused_) {
        leaveRefused_ = false;
        return false;
    }
    row_ = r;
    col_ = c;
    notify();
    return true;
}

void FlexGrid::setRow(int r) { moveTo(r, col_); }
void FlexGrid::setCol(int c) { moveTo(row_, c); }

void FlexGrid::setCellForeColor(Color c) {
    cellMut(row_, col_).fore = c;
    notify();
}

void FlexGrid::setCellBackColor(Color c) {
    cellMut(row_, col_).back = c;
    notify();
}

void FlexGrid::setTextMatrix(int r, int c, const std::string& t) {
    cellMut(r, c).text = t;
    notify();
}

void FlexGrid::setColorsAt(int r, int c, Color fore, Color back) {
    Cell& x = cellMut(r, c);
    x.fore = fore;
    x.back = back;
    notify();
}

int FlexGrid::colWidth(int c) const {
    if (c < 0 || c >= cols_) throw std::out_of_range("grid column");
    return colWidths_[static_cast<size_t>(c)];
}

void FlexGrid::setColWidth(int c, int twips) {
    if (c < 0 || c >= cols_) throw std::out_of_range("grid column");
    colWidths_[static_cast<size_t>(c)] = std::max(0, twips);
    notify();
}

int FlexGrid::rowHeight(int r) const {
    if (r < 0 || r >= rows_) throw std::out_of_range("grid row");
    int h = rowHeights_[static_cast<size_t>(r)];
    return h < 0 ? defaultRowHeight : h;
}

void FlexGrid::setRowHeight(int r, int twips) {
    if (r < 0 || r >= rows_) throw std::out_of_range("grid row");
    rowHeights_[static_cast<size_t>(r)] = std::max(0, twips);
    notify();
}

void FlexGrid::addItem(const std::string& tabbed, int index) {
    if (index < 0 || index > rows_) index = rows_;
    std::vector<Cell> row(static_cast<size_t>(cols_));
    size_t c = 0, start = 0;
    while (c < row.size()) {
        size_t tab = tabbed.find('\t', start);
        row[c].text = tabbed.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        ++c;
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    cells_.insert(cells_.begin() + index, std::move(row));
    rowHeights_.insert(rowHeights_.begin() + index, -1);
    ++rows_;
    if (row_ >= index && rows_ > 1 && row_ + 1 < rows_) ++row_;
    notify();
}

void FlexGrid::removeItem(int r) {
    if (r < 0 || r >= rows_) throw std::out_of_range("grid row");
    cells_.erase(cells_.begin() + r);
    rowHeights_.erase(rowHeights_.begin() + r);
    --rows_;
    if (row_ >= rows_) row_ = std::max(0, rows_ - 1);
    notify();
}

void FlexGrid::clear() {
    for (auto& r : cells_)
        for (auto& c : r) c = Cell{};
    notify();
}

void FlexGrid::setFormatString(const std::string& fmt) {
    std::vector<std::string> headers;
    size_t start = 0;
    while (true) {
        size_t bar = fmt.find('|', start);
        std::string h = fmt.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (!h.empty() && (h[0] == '<' || h[0] == '>' || h[0] == '^')) h.erase(0, 1);
        headers.push_back(h);
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    setCols(static_cast<int>(headers.size()));
    if (rows_ < 1) setRows(1);
    for (size_t c = 0; c < headers.size(); ++c) {
        cells_[0][c].text = headers[c];
        int w = measureHeader ? measureHeader(headers[c]) : static_cast<int>(headers[c].size()) * 120 + 120;
        colWidths_[c] = w;
    }
    notify();
}

CellRect FlexGrid::cellRect(int r, int c) const {
    if (cellGeometry) return cellGeometry(r, c);
    CellRect rc;
    for (int i = 0; i < c && i < cols_; ++i) rc.left += colWidths_[static_cast<size_t>(i)];
    for (int i = 0; i < r && i < rows_; ++i) rc.top += rowHeight(i);
    rc.width = (c >= 0 && c < cols_) ? colWidths_[static_cast<size_t>(c)] : 0;
    rc.height = (r >= 0 && r < rows_) ? rowHeight(r) : 0;
    return rc;
}

void FlexGrid::userMouseDown(int r, int c, int button, int shift, double x, double y) {
    mouseRow = r;
    mouseCol = c;
    // A click that could not leave the current cell (its edit was refused) is not reported.
    if (r >= fixedRows && r < rows_ && c >= 0 && c < cols_ && !moveTo(r, c)) return;
    if (onMouseDown) onMouseDown(button, shift, x, y);
}

void FlexGrid::userMouseMove(int r, int c, int button, int shift, double x, double y) {
    mouseRow = r;
    mouseCol = c;
    if (onMouseMove) onMouseMove(button, shift, x, y);
}

void FlexGrid::userResizedColumn(int c, int twips) {
    setColWidth(c, twips);
    if (onColumnResized) onColumnResized();
}

}  // namespace ui
