// The grid control's model: cells with text and colours, column widths and row
// heights in twips, a current cell, and the events a flex grid raises. Setting
// Row or Col to another cell raises onLeaveCell at once, inside the setter, as
// the program's logic relies on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls.h"
#include "types.h"

namespace ui {

struct CellRect {
    double left = 0, top = 0, width = 0, height = 0;  // twips, relative to the grid
};

class FlexGrid : public Control {
public:
    FlexGrid();

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    void setRows(int n);  // keeps existing cells; new rows are empty
    void setCols(int n);
    int fixedRows = 1;

    int row() const { return row_; }
    int col() const { return col_; }
    void setRow(int r);  // raises onLeaveCell when the cell changes
    void setCol(int c);
    // Called by the leave-cell handler when the cell cannot be left (its edit was
    // refused): the move that raised the event does not happen.
    void refuseLeave() { leaveRefused_ = true; }

    // The current cell.
    const std::string& text() const { return textMatrix(row_, col_); }
    void setText(const std::string& t) { setTextMatrix(row_, col_, t); }
    Color cellForeColor() const { return cell(row_, col_).fore; }
    Color cellBackColor() const { return cell(row_, col_).back; }
    void setCellForeColor(Color c);
    void setCellBackColor(Color c);

    const std::string& textMatrix(int r, int c) const { return cell(r, c).text; }
    void setTextMatrix(int r, int c, const std::string& t);
    Color foreColorAt(int r, int c) const { return cell(r, c).fore; }
    Color backColorAt(int r, int c) const { return cell(r, c).back; }
    void setColorsAt(int r, int c, Color fore, Color back);

    int colWidth(int c) const;
    void setColWidth(int c, int twips);
    int rowHeight(int r) const;
    void setRowHeight(int r, int twips);
    int defaultRowHeight = 240;

    // Appends a row (or inserts before `index`); tab characters separate the cells.
    void addItem(const std::string& tabbed, int index = -1);
    void removeItem(int r);
    // Empties every cell's text and formatting; rows, columns and widths stay.
    void clear();
    // "<a|<b|…": sets the column count, the header texts of row 0, left alignment
    // and the widths the text needs (as the control does), resetting stored widths.
    void setFormatString(const std::string& fmt);
    // Width the grid gives a column from its header text (twips), used by setFormatString.
    std::function<int(const std::string& header)> measureHeader;

    const Font& font() const { return font_; }
    void setFont(const Font& f) { font_ = f; notify(); }

    // Cell under the mouse, as reported by the view (or a test).
    int mouseRow = 0;
    int mouseCol = 0;

    // Geometry of a cell relative to the grid, accounting for scrolling; the view
    // provides it, otherwise it is computed from the widths and heights unscrolled.
    std::function<CellRect(int r, int c)> cellGeometry;
    CellRect cellRect(int r, int c) const;
    double cellLeft() const { return cellRect(row_, col_).left; }
    double cellTop() const { return cellRect(row_, col_).top; }
    double cellWidth() const { return cellRect(row_, col_).width; }
    double cellHeight() const { return cellRect(row_, col_).height; }
    // Left edge of a column relative to the grid.
    double colPos(int c) const { return cellRect(0, c).left; }
    // Asks the view to scroll so that the current cell is visible.
    std::function<void()> scrollToCurrent;

    void refresh() { notify(); }

    // What a view (or a test) reports of the user. A click on another cell makes
    // it current first (raising onLeaveCell for the old cell), then reports the
    // mouse-down; the fixed header row never becomes current by a click.
    void userMouseDown(int r, int c, int button, int shift, double x, double y);
    void userMouseMove(int r, int c, int button, int shift, double x, double y);
    void userKeyPress(int& keyAscii) { if (onKeyPress) onKeyPress(keyAscii); }
    // A keyboard move of the current cell: one leave-cell event; false when refused.
    bool userMoveTo(int r, int c) { return moveTo(r, c); }
    void userResizedColumn(int c, int twips);

    // Events
    std::function<void()> onLeaveCell;
    std::function<void(int button, int shift, double x, double y)> onMouseDown;
    std::function<void(int button, int shift, double x, double y)> onMouseMove;
    std::function<void(int& keyAscii)> onKeyPress;
    std::function<void()> onColumnResized;  // the user dragged a column border

private:
    struct Cell {
        std::string text;
        Color fore = kSysWindowText;
        Color back = kSysWindowBackground;
    };
    const Cell& cell(int r, int c) const;
    Cell& cellMut(int r, int c);
    bool moveTo(int r, int c);

    int rows_ = 2, cols_ = 2, row_ = 1, col_ = 0;
    std::vector<std::vector<Cell>> cells_;  // [row][col]
    std::vector<int> colWidths_;
    std::vector<int> rowHeights_;
    Font font_;
    bool leaveRefused_ = false;
};

}  // namespace ui
