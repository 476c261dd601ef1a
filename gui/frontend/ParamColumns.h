#ifndef GUI_FRONTEND_PARAMCOLUMNS_H
#define GUI_FRONTEND_PARAMCOLUMNS_H

#include <Qt>

// The columns of the parameter tree, shared by the tree's own page and the reading and writing of its rows.
enum ParamColumn
{
    ColName = 0,
    ColCode = 1,
    ColValue = 2,
    ColLastValue = 3,
    ColRegex = 4,
    ColMin = 5,
    ColMax = 6,
    ColAccess = 7,
    ColVib = 8,
    ColSelection = 9,
    ParamColumnCount = 10
};

// Data of a parameter row's code column: the byte length of the item's binary integer value (0 for none).
constexpr int ItemLengthRole = Qt::UserRole + 1;

#endif
