#include "ui/TablesPage.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "ui/NetworkTableModel.h"

namespace tarvel::ui {

// Rows that the filters of the page let through, sorted by the figures.
class RecordFilter : public QSortFilterProxyModel {
public:
    RecordFilter(std::function<bool(int)> accepts, QObject* parent)
        : QSortFilterProxyModel(parent), accepts_(std::move(accepts))
    {
        setSortRole(NetworkTableModel::kSortRole);
        setDynamicSortFilter(false);
    }
    void refilter() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override { return accepts_(row); }

private:
    std::function<bool(int)> accepts_;
};

namespace {

// Reading again this long after the last key typed into the text.
constexpr int kRereadDelayMs = 300;

QTableView* makeView(QAbstractItemModel* model, const char* name)
{
    auto* view = new QTableView;
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setSortingEnabled(true);
    view->sortByColumn(-1, Qt::AscendingOrder);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    view->setAlternatingRowColors(false);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setDefaultSectionSize(78);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

std::vector<std::string_view> linesOf(const std::string& text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 1;
    }
}

}  // namespace

TablesPage::TablesPage(QTextDocument* document, QWidget* parent) : QWidget(parent), document_(document)
{
    build();
    reread_ = new QTimer(this);
    reread_->setSingleShot(true);
    reread_->setInterval(kRereadDelayMs);
    connect(reread_, &QTimer::timeout, this, [this] {
        stale_ = true;
        refresh();
    });
    connect(document_, &QTextDocument::contentsChanged, this, [this] {
        if (writing_)
            return;
        stale_ = true;
        if (isVisible())
            reread_->start();
    });
}

TablesPage::~TablesPage()
{
    // The views go before the rows they show.
    nodeView_->setModel(nullptr);
    branchView_->setModel(nullptr);
}

void TablesPage::build()
{
    auto writer = [this](app::Table table, const std::vector<app::CellValue>& values) {
        return writeValues(table, values);
    };
    nodeModel_ = new NetworkTableModel(app::Table::Nodes, writer, this);
    branchModel_ = new NetworkTableModel(app::Table::Branches, writer, this);
    nodeProxy_ = new RecordFilter([this](int row) { return accepts(app::Table::Nodes, row); }, this);
    branchProxy_ = new RecordFilter([this](int row) { return accepts(app::Table::Branches, row); }, this);
    nodeProxy_->setSourceModel(nodeModel_);
    branchProxy_->setSourceModel(branchModel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Узел:")));
    numberFilter_ = new QLineEdit;
    numberFilter_->setObjectName(QStringLiteral("TablesNumber"));
    numberFilter_->setPlaceholderText(QStringLiteral("номер"));
    numberFilter_->setMaximumWidth(90);
    filters->addWidget(numberFilter_);
    districtFilter_ = new QComboBox;
    districtFilter_->setObjectName(QStringLiteral("TablesDistrict"));
    districtFilter_->addItem(QStringLiteral("Все районы"), -1);
    for (int d = 0; d <= 9; ++d)
        districtFilter_->addItem(QStringLiteral("Район %1").arg(d), d);
    filters->addWidget(districtFilter_);
    voltageFilter_ = new QComboBox;
    voltageFilter_->setObjectName(QStringLiteral("TablesVoltage"));
    voltageFilter_->addItem(QStringLiteral("Все напряжения"), -1.0);
    filters->addWidget(voltageFilter_);
    filters->addSpacing(12);
    auto* add = new QPushButton(QStringLiteral("Добавить"));
    add->setToolTip(QStringLiteral("Новая запись в конце своего раздела"));
    auto* remove = new QPushButton(QStringLiteral("Удалить"));
    remove->setToolTip(QStringLiteral("Удалить записи выделенных строк"));
    auto* fill = new QPushButton(QStringLiteral("Заполнить вниз"));
    fill->setToolTip(QStringLiteral("Значение верхней выделенной ячейки — во все выделенные ниже (Ctrl+D)"));
    auto* multiply = new QPushButton(QStringLiteral("Умножить на"));
    multiply->setToolTip(QStringLiteral("Умножить выделенные значения на множитель одним действием"));
    factor_ = new QLineEdit(QStringLiteral("1,1"));
    factor_->setObjectName(QStringLiteral("TablesFactor"));
    factor_->setMaximumWidth(60);
    for (QWidget* w : std::initializer_list<QWidget*>{add, remove, fill, multiply, factor_})
        filters->addWidget(w);
    filters->addStretch(1);
    layout->addLayout(filters);

    general_ = new QLabel;
    general_->setObjectName(QStringLiteral("TablesFindings"));
    general_->setWordWrap(true);
    general_->setStyleSheet(QStringLiteral("color: #a00000"));
    general_->hide();
    layout->addWidget(general_);

    auto* splitter = new QSplitter(Qt::Vertical);
    nodeView_ = makeView(nodeProxy_, "TablesNodes");
    branchView_ = makeView(branchProxy_, "TablesBranches");
    nodeView_->setColumnWidth(static_cast<int>(app::NodeColumn::Record), 110);
    splitter->addWidget(nodeView_);
    splitter->addWidget(branchView_);
    layout->addWidget(splitter, 1);
    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("TablesMessage"));
    layout->addWidget(message_);

    connect(numberFilter_, &QLineEdit::textChanged, this, &TablesPage::updateFilters);
    connect(districtFilter_, &QComboBox::currentIndexChanged, this, &TablesPage::updateFilters);
    connect(voltageFilter_, &QComboBox::currentIndexChanged, this, &TablesPage::updateFilters);
    connect(add, &QPushButton::clicked, this, &TablesPage::addRecord);
    connect(remove, &QPushButton::clicked, this, &TablesPage::removeSelectedRecords);
    connect(fill, &QPushButton::clicked, this, &TablesPage::fillDown);
    connect(multiply, &QPushButton::clicked, this, &TablesPage::multiplySelection);
    // The grids' own keys come before the window's: Ctrl+Z there is the document's undo,
    // as Ctrl+V is a pasted block.
    for (QTableView* view : {nodeView_, branchView_}) {
        view->installEventFilter(this);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& current) { tellFindingAt(current); });
    }
    connect(nodeView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const app::TableRecord* r = nodeModel_->record(nodeProxy_->mapToSource(current).row());
                if (r)
                    emit nodeChosen(static_cast<int>(r->values[1]));
            });
    connect(branchView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const app::TableRecord* r = branchModel_->record(branchProxy_->mapToSource(current).row());
                if (r)
                    emit branchChosen(r->ordinal, static_cast<int>(r->values[1]), static_cast<int>(r->values[2]));
            });
}

bool TablesPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const std::function<void()> command = [&]() -> std::function<void()> {
        if (key->matches(QKeySequence::Undo))
            return [this] { undoOrRedo(true); };
        if (key->matches(QKeySequence::Redo))
            return [this] { undoOrRedo(false); };
        if (key->matches(QKeySequence::Paste))
            return [this] { pasteBlock(); };
        if (key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_D))
            return [this] { fillDown(); };
        return {};
    }();
    if (!command)
        return QWidget::eventFilter(watched, event);
    event->accept();
    if (event->type() == QEvent::KeyPress)
        command();
    return true;
}

void TablesPage::undoOrRedo(bool undo)
{
    if (undo)
        document_->undo();
    else
        document_->redo();
    refresh();
}

void TablesPage::tellFindingAt(const QModelIndex& current)
{
    // A refusal stays in sight until a finding takes its place or is left.
    const QString finding = current.data(Qt::ToolTipRole).toString();
    if (!finding.isEmpty() || tellsFinding_)
        tell(finding);
    tellsFinding_ = !finding.isEmpty();
}

void TablesPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void TablesPage::setSettings(const CalculationSettings& settings)
{
    if (settings.method == settings_.method && settings.qLimits == settings_.qLimits)
        return;
    settings_ = settings;
    stale_ = true;
    if (isVisible())
        refresh();
}

void TablesPage::showResults(const NetworkResults* results, const std::vector<double>& ratingsMva)
{
    nodeModel_->setResults(results);
    branchModel_->setResults(results, ratingsMva);
}

void TablesPage::refresh()
{
    reread_->stop();
    if (stale_)
        readDocument();
}

void TablesPage::readDocument()
{
    stale_ = false;
    text_ = document_->toPlainText().toStdString();
    lines_ = linesOf(text_);
    tables_ = app::readTables(text_, settings_);
    unomOfNumber_.clear();
    for (const app::TableRecord& r : tables_.nodes)
        if (r.kind != app::RecordKind::Shunt)
            unomOfNumber_.try_emplace(static_cast<int32_t>(r.values[1]), r.values[2]);
    nodeModel_->setTables(&tables_, &lines_);
    branchModel_->setTables(&tables_, &lines_);
    updateVoltageClasses();
    nodeProxy_->refilter();
    branchProxy_->refilter();
    QStringList general;
    // An empty pane is no error yet.
    if (!tables_.nodes.empty() || !tables_.branches.empty() || !QString::fromStdString(text_).trimmed().isEmpty())
        for (const std::string& line : tables_.generalFindings)
            general << QString::fromStdString(line);
    if (general.size() > 4)
        general = general.mid(0, 4) << QStringLiteral("… (ещё %1)").arg(tables_.generalFindings.size() - 4);
    general_->setText(general.join(QLatin1Char('\n')));
    general_->setVisible(!general.isEmpty());
}

void TablesPage::updateVoltageClasses()
{
    std::set<double, std::greater<>> classes;
    for (const app::TableRecord& r : tables_.nodes)
        if (r.kind != app::RecordKind::Shunt)
            classes.insert(r.values[2]);
    const double chosen = voltageFilter_->currentData().toDouble();
    QSignalBlocker block(voltageFilter_);
    voltageFilter_->clear();
    voltageFilter_->addItem(QStringLiteral("Все напряжения"), -1.0);
    for (const double kv : classes) {
        voltageFilter_->addItem(QString::fromStdString(formatGeneral(kv, 0, 7)) + QStringLiteral(" кВ"), kv);
        if (kv == chosen)
            voltageFilter_->setCurrentIndex(voltageFilter_->count() - 1);
    }
}

bool TablesPage::accepts(app::Table table, int row) const
{
    const std::vector<app::TableRecord>& rows = table == app::Table::Nodes ? tables_.nodes : tables_.branches;
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return false;
    const app::TableRecord& r = rows[static_cast<std::size_t>(row)];
    std::vector<int32_t> numbers{static_cast<int32_t>(r.values[1])};
    if (table == app::Table::Branches)
        numbers.push_back(static_cast<int32_t>(r.values[2]));
    bool ok = false;
    const int number = numberFilter_->text().trimmed().toInt(&ok);
    if (ok && std::find(numbers.begin(), numbers.end(), number) == numbers.end())
        return false;
    const int district = districtFilter_->currentData().toInt();
    if (district >= 0 &&
        std::none_of(numbers.begin(), numbers.end(), [&](int32_t n) { return districtOf(n) == district; }))
        return false;
    const double kv = voltageFilter_->currentData().toDouble();
    if (kv >= 0 && std::none_of(numbers.begin(), numbers.end(), [&](int32_t n) {
            const auto it = unomOfNumber_.find(n);
            return it != unomOfNumber_.end() && it->second == kv;
        }))
        return false;
    return true;
}

void TablesPage::updateFilters()
{
    nodeProxy_->refilter();
    branchProxy_->refilter();
}

void TablesPage::tell(const QString& text)
{
    message_->setText(text);
}

QString TablesPage::writeValues(app::Table table, const std::vector<app::CellValue>& values)
{
    refresh();
    const app::CellWrite write = app::writeCells(text_, tables_, table, values);
    applyEdits(write.edits);
    if (write.refusals.empty()) {
        tell(QString());
        return {};
    }
    const app::CellRefusal& first = write.refusals.front();
    const auto& rows = table == app::Table::Nodes ? tables_.nodes : tables_.branches;
    QString text = QStringLiteral("Строка %1: %2").arg(rows[static_cast<std::size_t>(first.row)].line)
                       .arg(QString::fromStdString(first.message));
    if (write.refusals.size() > 1)
        text += QStringLiteral(" (не записано значений: %1)").arg(write.refusals.size());
    tell(text);
    return text;
}

void TablesPage::applyEdits(const std::vector<app::TextEdit>& edits)
{
    if (edits.empty())
        return;
    writeToDocument(edits);
    if (rereadEditedLines(edits))
        return;
    stale_ = true;
    readDocument();
}

void TablesPage::writeToDocument(const std::vector<app::TextEdit>& edits)
{
    writing_ = true;
    QTextCursor cursor(document_);
    cursor.beginEditBlock();
    for (const app::TextEdit& edit : edits) {
        QStringList lines;
        for (const std::string& line : edit.lines)
            lines << QString::fromStdString(line);
        const QString joined = lines.join(QLatin1Char('\n'));
        const QTextBlock first = document_->findBlockByNumber(edit.firstLine - 1);
        if (edit.removed == 0) {
            if (first.isValid()) {
                cursor.setPosition(first.position());
                cursor.insertText(joined + QLatin1Char('\n'));
            } else {
                cursor.movePosition(QTextCursor::End);
                cursor.insertText(QLatin1Char('\n') + joined);
            }
            continue;
        }
        const QTextBlock last = document_->findBlockByNumber(edit.firstLine - 1 + edit.removed - 1);
        const int end = last.position() + last.length() - 1;
        if (!edit.lines.empty()) {
            cursor.setPosition(first.position());
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            cursor.insertText(joined);
        } else if (last.next().isValid()) {
            cursor.setPosition(first.position());
            cursor.setPosition(last.next().position(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else {
            cursor.setPosition(first.previous().isValid() ? first.position() - 1 : first.position());
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
    }
    cursor.endEditBlock();
    writing_ = false;
}

// A few lines rewritten in place are read again by themselves, so that an
// edited cell costs no reading of a large text; the reader's findings
// follow once the edits pause.
bool TablesPage::rereadEditedLines(const std::vector<app::TextEdit>& edits)
{
    constexpr std::size_t kFewLines = 16;
    // A text read in a few milliseconds is read whole at once, findings and all.
    constexpr std::size_t kReadAtOnce = 256 * 1024;
    if (edits.size() > kFewLines || text_.size() < kReadAtOnce)
        return false;
    std::vector<int> lines;
    for (const app::TextEdit& edit : edits) {
        if (edit.removed != 1 || edit.lines.size() != 1)
            return false;
        lines.push_back(edit.firstLine);
    }
    for (const app::TextEdit& edit : edits) {
        const std::string_view line = lines_[static_cast<std::size_t>(edit.firstLine - 1)];
        text_.replace(static_cast<std::size_t>(line.data() - text_.data()), line.size(), edit.lines.front());
        lines_ = linesOf(text_);
    }
    if (!app::rereadLines(tables_, text_, lines))
        return false;
    nodeModel_->setTables(&tables_, &lines_);
    branchModel_->setTables(&tables_, &lines_);
    reread_->start();
    return true;
}

QTableView* TablesPage::activeView() const
{
    return branchView_->hasFocus() ? branchView_ : nodeView_;
}

NetworkTableModel* TablesPage::modelOf(const QTableView* view) const
{
    return view == nodeView_ ? nodeModel_ : branchModel_;
}

QSortFilterProxyModel* TablesPage::proxyOf(const QTableView* view) const
{
    return view == nodeView_ ? static_cast<QSortFilterProxyModel*>(nodeProxy_) : branchProxy_;
}

std::vector<int> TablesPage::shownRows(const QTableView* view, int fromProxyRow) const
{
    const QSortFilterProxyModel* proxy = proxyOf(view);
    std::vector<int> rows;
    for (int r = std::max(fromProxyRow, 0); r < proxy->rowCount(); ++r)
        rows.push_back(proxy->mapToSource(proxy->index(r, 0)).row());
    return rows;
}

void TablesPage::pasteBlock()
{
    refresh();
    QTableView* view = activeView();
    const QModelIndex current = view->currentIndex();
    if (!current.isValid())
        return;
    const std::string block = QApplication::clipboard()->text().toStdString();
    std::vector<int> columns;
    for (int c = current.column(); c < modelOf(view)->columnCount(); ++c)
        columns.push_back(c);
    const std::vector<app::CellValue> values =
        app::pastedValues(block, shownRows(view, current.row()), columns);
    writeValues(modelOf(view)->table(), values);
}

void TablesPage::fillDown()
{
    refresh();
    QTableView* view = activeView();
    QModelIndexList cells = view->selectionModel()->selectedIndexes();
    std::sort(cells.begin(), cells.end(), [](const QModelIndex& a, const QModelIndex& b) {
        return a.column() != b.column() ? a.column() < b.column() : a.row() < b.row();
    });
    std::map<int, QString> top;
    std::vector<app::CellValue> values;
    NetworkTableModel* model = modelOf(view);
    for (const QModelIndex& cell : cells) {
        const QModelIndex source = proxyOf(view)->mapToSource(cell);
        const auto [it, first] = top.try_emplace(cell.column(), model->fieldText(source.row(), source.column()));
        if (!first && source.column() < model->dataColumns())
            values.push_back({source.row(), source.column(), it->second.toStdString()});
    }
    writeValues(model->table(), values);
}

void TablesPage::multiplySelection()
{
    refresh();
    bool ok = false;
    const double factor = QString(factor_->text()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok) {
        tell(QStringLiteral("Множитель \"%1\" не является числом").arg(factor_->text()));
        return;
    }
    QTableView* view = activeView();
    NetworkTableModel* model = modelOf(view);
    std::vector<app::CellValue> values;
    for (const QModelIndex& cell : view->selectionModel()->selectedIndexes()) {
        const QModelIndex source = proxyOf(view)->mapToSource(cell);
        const app::TableRecord* r = model->record(source.row());
        const std::optional<int> field =
            model->table() == app::Table::Nodes
                ? app::nodeField(r->kind, static_cast<app::NodeColumn>(source.column()))
                : (source.column() < model->dataColumns()
                       ? app::branchField(static_cast<app::BranchColumn>(source.column()))
                       : std::nullopt);
        // Node numbers are names, not quantities.
        if (!field || app::isIntegerField(r->kind, *field) || r->fields[static_cast<std::size_t>(*field)].line == 0)
            continue;
        values.push_back({source.row(), source.column(),
                          app::scaledFigure(r->values[static_cast<std::size_t>(*field)], factor)});
    }
    writeValues(model->table(), values);
}

void TablesPage::addRecord()
{
    refresh();
    QTableView* view = activeView();
    const app::Table table = modelOf(view)->table();
    const app::TextEdit edit = app::appendRecord(text_, tables_, table);
    applyEdits({edit});
    // The new record is the row of its first line.
    const int line = edit.removed == 0 ? edit.firstLine : edit.firstLine + 1;
    const auto& rows = table == app::Table::Nodes ? tables_.nodes : tables_.branches;
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        if (rows[static_cast<std::size_t>(r)].line == line) {
            const QModelIndex shown = proxyOf(view)->mapFromSource(modelOf(view)->index(r, 1));
            view->setCurrentIndex(shown);
            view->scrollTo(shown);
        }
}

void TablesPage::removeSelectedRecords()
{
    refresh();
    QTableView* view = activeView();
    std::vector<int> rows;
    for (const QModelIndex& cell : view->selectionModel()->selectedIndexes())
        rows.push_back(proxyOf(view)->mapToSource(cell).row());
    if (rows.empty())
        return;
    applyEdits(app::removeRecords(text_, tables_, modelOf(view)->table(), rows));
}

void TablesPage::selectNodeSlot(int slot)
{
    refresh();
    if (slot < 0 || slot >= static_cast<int>(tables_.nodeRowOfSlot.size()) || tables_.nodeRowOfSlot[slot] < 0)
        return;
    const QModelIndex shown = nodeProxy_->mapFromSource(nodeModel_->index(tables_.nodeRowOfSlot[slot], 1));
    if (!shown.isValid())
        return;
    nodeView_->setCurrentIndex(shown);
    nodeView_->scrollTo(shown);
}

void TablesPage::selectBranchSlot(int slot)
{
    refresh();
    if (slot < 1 || slot >= static_cast<int>(tables_.branchRowOfSlot.size()))
        return;
    const QModelIndex shown = branchProxy_->mapFromSource(branchModel_->index(tables_.branchRowOfSlot[slot], 0));
    if (!shown.isValid())
        return;
    branchView_->setCurrentIndex(shown);
    branchView_->scrollTo(shown);
}

}  // namespace tarvel::ui
