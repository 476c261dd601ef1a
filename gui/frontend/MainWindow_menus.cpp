// Context menus of the capture lists: filter conditions from a cell, copying, hiding and showing columns.
#include "MainWindow.h"

#include "Logger.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace
{
struct FilterColumn
{
    int column;
    const char *variable;
    bool quoted; // a string value goes between double quotes, a number as it stands
};

constexpr FilterColumn filterColumns[] = {
    {4, "mbus.radio.rssi", false},   {5, "mbus.header.Manufacturer", true},  {6, "mbus.header.Id", true},
    {7, "mbus.header.Medium", true}, {8, "mbus.header.AccessNumber", false}, {11, "mbus.header.Type", true},
    {13, "mbus.error", true},
};

const FilterColumn *filterColumn(int column)
{
    for (const FilterColumn &entry : filterColumns)
    {
        if (entry.column == column)
            return &entry;
    }
    return nullptr;
}

constexpr const char *AndJoin = " && ";
constexpr const char *OrJoin = " || ";

// The six entries of a string column, in menu order: operator and joiner.
struct StringEntry
{
    const char *op;
    const char *join; // null: the condition replaces the filter text
};

constexpr StringEntry stringEntries[] = {
    {"==", nullptr}, {"!=", nullptr}, {"==", AndJoin}, {"==", OrJoin}, {"!=", AndJoin}, {"!=", OrJoin},
};

// The cell a menu was opened on, kept on its entries: while a capture runs, every new frame becomes the
// current row, so the current cell when an entry is chosen is seldom the one that was clicked.
constexpr const char *CellColumnProperty = "CellColumn";
constexpr const char *CellTextProperty = "CellText";

void markCell(QAction *action, int column, const QString &text)
{
    action->setProperty(CellColumnProperty, column);
    action->setProperty(CellTextProperty, text);
}

// The cell an entry acts on: the one its menu was opened on; for an entry triggered without its menu
// (keyboard), the current cell of the list, or of its given column. False when there is none.
bool cellOf(const QAction *action, const QTreeWidget *tree, int &column, QString &text, int fixedColumn = -1)
{
    const QVariant marked = action ? action->property(CellColumnProperty) : QVariant();
    if (marked.isValid())
    {
        column = marked.toInt();
        text = action->property(CellTextProperty).toString();
        return true;
    }
    if (!tree->currentItem())
        return false;
    column = fixedColumn < 0 ? tree->currentColumn() : fixedColumn;
    text = tree->currentItem()->text(column);
    return true;
}

void forgetCells(const QList<QAction *> &actions)
{
    for (QAction *action : actions)
        action->setProperty(CellColumnProperty, QVariant());
}

// The style shortens an entry that does not fit by a measure that also counts the ampersands a menu hides,
// so an entry whose text holds the doubled "&&&&" lost characters from its middle although the menu was
// sized for it ("... && ...uf == HLX"). The width of the hidden ampersands keeps such entries whole.
void makeRoomForHiddenAmpersands(QMenu &menu)
{
    menu.setMinimumWidth(menu.sizeHint().width() + menu.fontMetrics().horizontalAdvance("&&"));
}
} // namespace

QString MainWindow::scriptString(const QString &text)
{
    QString literal = "\"";
    for (const QChar c : text)
    {
        if (c == '\\' || c == '"')
            literal += QString('\\') + c;
        else if (c == '\n')
            literal += "\\n";
        else if (c == '\r')
            literal += "\\r";
        else if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
            literal += QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        else
            literal += c;
    }
    return literal + '"';
}

QString MainWindow::filterCondition(int column, const QString &op, const QString &value)
{
    const FilterColumn *entry = filterColumn(column);
    if (!entry)
        return QString();
    const QString shown = entry->quoted ? scriptString(value) : value;
    return QString(entry->variable) + " " + op + " " + shown;
}

QList<QAction *> MainWindow::frameMenuActions() const
{
    QList<QAction *> all = cmApplyEntries + cmPrepareEntries;
    all << cmSetFilterGt << cmSetFilterLt << cmSelectModule << cmClearFilter << cmCopy << cmHide;
    return all;
}

void MainWindow::hideStoredColumns(QTreeWidget *tree, const QStringList &names)
{
    for (int column = 0; column < tree->columnCount(); ++column)
    {
        for (const QString &name : names)
        {
            if (tree->headerItem()->text(column) == name)
                tree->hideColumn(column);
        }
    }
}

void MainWindow::setupContextMenus()
{
    QTreeWidget *frames = ui->treeWidget_FrameList;
    frames->setContextMenuPolicy(Qt::CustomContextMenu);
    auto entry = [frames](const QString &text) { return new QAction(text, frames); };
    // The menus rename the entries at every opening; these are the names they start with.
    for (int i = 0; i < 6; ++i)
    {
        const bool eq = QString(stringEntries[i].op) == "==";
        cmApplyEntries << entry(eq ? "Set Filter ==" : "Set Filter !=");
        cmPrepareEntries << entry(eq ? "Set Filter ==" : "Set Filter !=");
    }
    cmSetFilterEq = cmApplyEntries.first();
    cmSetFilterNeq = cmApplyEntries.at(1);
    cmSetFilterGt = entry("Set Filter >=");
    cmSetFilterLt = entry("Set Filter <=");
    cmSelectModule = entry("Select module");
    cmClearFilter = entry("Clear Filter");
    cmCopy = entry("copy");
    cmHide = entry("Hide Column");
    connect(frames, &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenuFrames);
    for (int i = 0; i < 6; ++i)
    {
        const bool eq = QString(stringEntries[i].op) == "==";
        auto handler = eq ? &MainWindow::ActionSetFilterEq_triggered : &MainWindow::CM_FilterNeq_triggered;
        connect(cmApplyEntries.at(i), &QAction::triggered, this, handler);
        connect(cmPrepareEntries.at(i), &QAction::triggered, this, handler);
    }
    connect(cmSetFilterGt, &QAction::triggered, this, &MainWindow::CM_FilterGt_triggered);
    connect(cmSetFilterLt, &QAction::triggered, this, &MainWindow::CM_FilterLt_triggered);
    connect(cmSelectModule, &QAction::triggered, this, &MainWindow::ActionSetFilterEq_triggered);
    connect(cmClearFilter, &QAction::triggered, this, &MainWindow::on_pushButton_clearfilter_clicked);
    connect(cmCopy, &QAction::triggered, this, &MainWindow::CM_Copy_triggered);
    connect(cmHide, &QAction::triggered, this, &MainWindow::CM_Hide_triggered);

    framesHiddenColumns = prefs->gui.getFramesHiddenColumns();
    hideStoredColumns(frames, framesHiddenColumns);

    frames->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(frames->header(), &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenuFramesHeader);
    QHeaderView *modules = ui->treeWidget_ModuleList->header();
    modules->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(modules, &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenuModulesHeader);
}

void MainWindow::showContextMenuFrames(const QPoint &point)
{
    QTreeWidget *tree = ui->treeWidget_FrameList;
    const int c = tree->currentColumn();
    if (!tree->indexAt(point).isValid() || !tree->currentItem())
        return;
    const QString header = tree->headerItem()->text(c);
    const QString value = tree->currentItem()->text(c);

    QMenu applyMenu("Apply a Filter");
    QMenu prepareMenu("Prepare as Filter");
    const FilterColumn *entry = filterColumn(c);
    if (entry && entry->quoted)
    {
        for (int i = 0; i < 6; ++i)
        {
            const StringEntry &kind = stringEntries[i];
            // A menu shows "&&" as one ampersand, so the joiner is written doubled.
            QString text = header + " " + kind.op + " " + value;
            if (kind.join)
                text = QString("... ") + (QString(kind.join) == AndJoin ? "&&&& " : "|| ") + text;
            for (QAction *action : {cmApplyEntries.at(i), cmPrepareEntries.at(i)})
            {
                action->setText(text);
                action->setProperty("Type", "Frames");
                action->setProperty("PreText", kind.join ? QVariant(QString(kind.join)) : QVariant());
            }
            for (QAction *action : {cmApplyEntries.at(i), cmPrepareEntries.at(i)})
                markCell(action, c, value);
            cmApplyEntries.at(i)->setProperty("Apply", true);
            cmPrepareEntries.at(i)->setProperty("Apply", false);
            applyMenu.addAction(cmApplyEntries.at(i));
            prepareMenu.addAction(cmPrepareEntries.at(i));
        }
        makeRoomForHiddenAmpersands(applyMenu);
        makeRoomForHiddenAmpersands(prepareMenu);
    }
    else if (entry)
    {
        cmSetFilterGt->setText(header + " >= " + value);
        cmSetFilterLt->setText(header + " <= " + value);
        markCell(cmSetFilterGt, c, value);
        markCell(cmSetFilterLt, c, value);
        applyMenu.addAction(cmSetFilterGt);
        applyMenu.addAction(cmSetFilterLt);
    }
    QMenu menu;
    if (!applyMenu.isEmpty())
        menu.addMenu(&applyMenu);
    if (!prepareMenu.isEmpty())
        menu.addMenu(&prepareMenu);
    menu.addAction(cmClearFilter);
    menu.addSeparator();
    markCell(cmCopy, c, value);
    menu.addAction(cmCopy);
    menu.exec(tree->mapToGlobal(point));
    // The chosen entry has run by now.
    forgetCells(frameMenuActions());
}

void MainWindow::showContextMenuModules(const QPoint &point)
{
    QTreeWidget *tree = ui->treeWidget_ModuleList;
    if (!tree->indexAt(point).isValid() || !tree->currentItem())
        return;
    const QString module = tree->currentItem()->text(0);
    cmSelectModule->setText("Select module " + module);
    cmSelectModule->setProperty("Type", "Modules");
    markCell(cmSelectModule, 0, module);
    QMenu menu;
    menu.addAction(cmSelectModule);
    menu.exec(tree->mapToGlobal(point));
    forgetCells({cmSelectModule});
}

void MainWindow::setFilterText(const QString &text, bool apply)
{
    ui->comboBox_FilterInput->setCurrentText(text);
    if (apply)
        on_pushButton_applyfilter_clicked();
}

void MainWindow::stringFilterEntry(const QString &op)
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    int c = -1;
    QString value;
    if (!cellOf(action, ui->treeWidget_FrameList, c, value))
        return;
    const FilterColumn *entry = filterColumn(c);
    if (!entry || !entry->quoted)
        return;
    const QString condition = filterCondition(c, op, value);
    const QString join = action->property("PreText").toString();
    const QString text = join.isEmpty() ? condition : ui->comboBox_FilterInput->currentText() + join + condition;
    setFilterText(text, action->property("Apply").toBool());
}

void MainWindow::ActionSetFilterEq_triggered(bool checked)
{
    GUI_LOG(logger, "MainWindow", "bool:%d", checked);
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    if (action->property("Type").toString() == "Modules")
    {
        int column = 0;
        QString module;
        if (!cellOf(action, ui->treeWidget_ModuleList, column, module, 0))
            return;
        setFilterText("mbus.header.Id == " + scriptString(module), true);
        return;
    }
    stringFilterEntry("==");
}

void MainWindow::CM_FilterNeq_triggered(bool checked)
{
    GUI_LOG(logger, "MainWindow", "bool:%d", checked);
    stringFilterEntry("!=");
}

void MainWindow::numberFilterEntry(const QString &op)
{
    int c = -1;
    QString value;
    if (!cellOf(qobject_cast<QAction *>(sender()), ui->treeWidget_FrameList, c, value))
        return;
    const FilterColumn *entry = filterColumn(c);
    if (!entry || entry->quoted)
        return;
    setFilterText(filterCondition(c, op, value), true);
}

void MainWindow::CM_FilterGt_triggered(bool checked)
{
    GUI_LOG(logger, "MainWindow", "bool:%d", checked);
    numberFilterEntry(">=");
}

void MainWindow::CM_FilterLt_triggered(bool checked)
{
    GUI_LOG(logger, "MainWindow", "bool:%d", checked);
    numberFilterEntry("<=");
}

void MainWindow::CM_Copy_triggered(bool)
{
    int c = ui->treeWidget_FrameList->currentColumn();
    QString text;
    cellOf(qobject_cast<QAction *>(sender()), ui->treeWidget_FrameList, c, text);
    const QByteArray shown = text.toUtf8();
    GUI_LOG(logger, "MainWindow", "Click: %d: %s", c, shown.constData());
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

namespace
{
int sectionAt(QHeaderView *header, const QPoint &point)
{
    return header->orientation() == Qt::Horizontal ? header->logicalIndexAt(point.x())
                                                   : header->logicalIndexAt(point.y());
}
} // namespace

void MainWindow::showContextMenuFramesHeader(const QPoint &point)
{
    showHeaderMenu(ui->treeWidget_FrameList, "Frames", framesHiddenColumns, point);
}

void MainWindow::showContextMenuModulesHeader(const QPoint &point)
{
    showHeaderMenu(ui->treeWidget_ModuleList, "Modules", modulesHiddenColumns, point);
}

void MainWindow::showHeaderMenu(QTreeWidget *tree, const QString &type, const QStringList &hidden, const QPoint &point)
{
    const int s = sectionAt(tree->header(), point);
    headerMenuColumn = s;
    if (tree == ui->treeWidget_FrameList)
        GUI_LOG_AS(logger, "MainWindow", "showContextMenuFramesHeader", "context Menu triggered column: %d index: %d",
                   s, s);
    else
        GUI_LOG_AS(logger, "MainWindow", "showContextMenuModulesHeader", "context Menu triggered");
    if (s <= 0)
        return;
    cmHide->setText("Hide Column " + tree->headerItem()->text(s));
    cmHide->setProperty("Type", type);
    QMenu menu;
    menu.addAction(cmHide);
    menu.addSeparator();
    QMenu showMenu("Show Column");
    for (const QString &name : hidden)
    {
        QAction *show = showMenu.addAction(name);
        show->setProperty("Column", name);
        show->setProperty("Type", type);
        connect(show, &QAction::triggered, this, &MainWindow::CM_Show_triggered);
    }
    if (!hidden.isEmpty())
        menu.addMenu(&showMenu);
    menu.exec(tree->header()->mapToGlobal(point));
}

void MainWindow::CM_Hide_triggered(bool checked)
{
    GUI_LOG(logger, "MainWindow", "bool:%d", checked);
    auto *action = qobject_cast<QAction *>(sender());
    if (!action || headerMenuColumn <= 0)
        return;
    if (action->property("Type").toString() == "Frames")
    {
        QTreeWidget *tree = ui->treeWidget_FrameList;
        const QString name = tree->headerItem()->text(headerMenuColumn);
        tree->hideColumn(headerMenuColumn);
        framesHiddenColumns << name;
        prefs->gui.addFramesHiddenColumn(name);
    }
    else if (action->property("Type").toString() == "Modules")
    {
        QTreeWidget *tree = ui->treeWidget_ModuleList;
        const QString name = tree->headerItem()->text(headerMenuColumn);
        tree->hideColumn(headerMenuColumn);
        modulesHiddenColumns << name;
        prefs->gui.addModulesHiddenColumn(name);
    }
}

void MainWindow::CM_Show_triggered(bool)
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    const QString name = action->property("Column").toString();
    const bool frames = action->property("Type").toString() == "Frames";
    if (!frames)
        GUI_LOG(logger, "MainWindow", "show Module column");
    QTreeWidget *tree = frames ? ui->treeWidget_FrameList : ui->treeWidget_ModuleList;
    for (int column = 0; column < tree->columnCount(); ++column)
    {
        if (tree->headerItem()->text(column) != name)
            continue;
        tree->showColumn(column);
        disconnect(action, &QAction::triggered, this, &MainWindow::CM_Show_triggered);
        if (frames)
        {
            framesHiddenColumns.removeAll(name);
            prefs->gui.removeFramesHiddenColumn(name);
        }
        else
        {
            modulesHiddenColumns.removeAll(name);
            prefs->gui.removeModulesHiddenColumn(name);
        }
    }
}
