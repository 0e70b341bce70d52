#include "ui/DiagramPage.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "ui/DiagramView.h"

namespace tarvel::ui {

DiagramPage::DiagramPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    auto* bar = new QHBoxLayout;
    auto* searchLabel = new QLabel(QStringLiteral("&Узел:"), this);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("DiagramSearch"));
    search_->setPlaceholderText(QStringLiteral("номер узла"));
    search_->setValidator(new QIntValidator(-99, 100000, search_));
    search_->setMaximumWidth(110);
    search_->setToolTip(QStringLiteral("Найти узел по номеру (Ctrl+F)"));
    searchLabel->setBuddy(search_);
    auto* find = new QPushButton(QStringLiteral("Найт&и"), this);
    find->setObjectName(QStringLiteral("DiagramFind"));
    fit_ = new QPushButton(QStringLiteral("&Вся схема"), this);
    fit_->setObjectName(QStringLiteral("DiagramFit"));
    fit_->setToolTip(QStringLiteral("Уместить схему в окно (Home)"));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 0);
    progress_->setMaximumWidth(160);
    progress_->hide();
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("DiagramStatus"));
    outage_ = new QLabel(this);
    outage_->setObjectName(QStringLiteral("DiagramOutage"));
    outage_->setStyleSheet(QStringLiteral("font-weight: bold; color: #b00000;"));
    baseCase_ = new QPushButton(QStringLiteral("Исх&одный режим"), this);
    baseCase_->setObjectName(QStringLiteral("DiagramBaseCase"));
    baseCase_->setToolTip(QStringLiteral("Показать режим без отключения"));
    bar->addWidget(searchLabel);
    bar->addWidget(search_);
    bar->addWidget(find);
    bar->addWidget(fit_);
    bar->addWidget(progress_);
    bar->addWidget(outage_);
    bar->addWidget(baseCase_);
    bar->addWidget(status_, 1);
    layout->addLayout(bar);

    notes_ = new QLabel(this);
    notes_->setObjectName(QStringLiteral("DiagramNotes"));
    notes_->setWordWrap(true);
    notes_->setStyleSheet(QStringLiteral("color: #7a3d00;"));
    notes_->hide();
    layout->addWidget(notes_);

    view_ = new DiagramView(this);
    view_->setObjectName(QStringLiteral("DiagramView1"));
    layout->addWidget(view_, 1);

    connect(search_, &QLineEdit::returnPressed, this, &DiagramPage::findNode);
    connect(find, &QPushButton::clicked, this, &DiagramPage::findNode);
    connect(fit_, &QPushButton::clicked, view_, &DiagramView::fitAll);
    connect(baseCase_, &QPushButton::clicked, this, &DiagramPage::showBaseCase);
    connect(view_, &DiagramView::nodeActivated, this, &DiagramPage::nodeActivated);
    connect(view_, &DiagramView::branchActivated, this, &DiagramPage::branchActivated);
    connect(&watcher_, &QFutureWatcher<diagram::Layout>::finished, this, &DiagramPage::layoutFinished);
    auto* findKey = new QShortcut(QKeySequence::Find, this, this, &DiagramPage::focusSearch);
    findKey->setContext(Qt::WidgetWithChildrenShortcut);
    showOutageBar();
}

DiagramPage::~DiagramPage()
{
    watcher_.waitForFinished();
}

void DiagramPage::clear()
{
    data_.reset();
    overlay_.reset();
    showOutageBar();
    picture_ = {};
    view_->clearPicture();
    progress_->hide();
    status_->clear();
    notes_->hide();
}

void DiagramPage::showTooLarge(int nodes, int branches)
{
    clear();
    // Below the bar, where a long line wraps instead of squeezing the search field.
    notes_->setText(QString::fromStdString(diagram::tooLargeText(nodes, branches)));
    notes_->show();
}

void DiagramPage::showRun(diagram::DiagramData data)
{
    data_ = std::move(data);
    overlay_.reset();
    showOutageBar();
    showOrLayOut();
}

QString DiagramPage::showOutage(const diagram::Topology& studied, diagram::OutageOverlay overlay)
{
    if (!data_)
        return QStringLiteral("Схема этой сети не строится.");
    if (!data_->results || !data_->topology.sameShape(studied))
        return QStringLiteral("На схеме другая сеть: выполните анализ отключений для нее заново.");
    overlay_ = std::move(overlay);
    showOutageBar();
    if (const diagram::Layout* known = cache_.find(data_->topology))
        showPicture(*known, true);
    else
        showOrLayOut();  // the outage is drawn when the layout is done
    return {};
}

void DiagramPage::showBaseCase()
{
    if (!overlay_)
        return;
    overlay_.reset();
    showOutageBar();
    if (const diagram::Layout* known = data_ ? cache_.find(data_->topology) : nullptr)
        showPicture(*known, true);
}

void DiagramPage::showOutageBar()
{
    outage_->setVisible(overlay_.has_value());
    baseCase_->setVisible(overlay_.has_value());
    if (overlay_) {
        outage_->setText(QStringLiteral("Отключение: %1").arg(QString::fromStdString(overlay_->label)));
        outage_->setToolTip(QString::fromStdString(overlay_->outcome));
    }
}

void DiagramPage::showOrLayOut()
{
    if (!data_)
        return;
    if (const diagram::Layout* known = cache_.find(data_->topology)) {
        showPicture(*known, false);
        return;
    }
    view_->clearPicture();
    picture_ = {};
    status_->setText(QStringLiteral("Расположение схемы: узлов %1, ветвей %2...")
                         .arg(data_->topology.nodeNumbers.size())
                         .arg(data_->topology.branches.size()));
    progress_->show();
    if (layoutPending_)
        return;  // layoutFinished() starts the layout of the newest run
    layoutPending_ = true;
    watchedTopology_ = data_->topology;
    watcher_.setFuture(QtConcurrent::run([topology = watchedTopology_] { return diagram::layoutTopology(topology); }));
}

void DiagramPage::layoutFinished()
{
    if (!layoutPending_)
        return;  // already taken by waitForLayout()
    layoutPending_ = false;
    cache_.store(watchedTopology_, watcher_.result());
    showOrLayOut();
}

bool DiagramPage::isLayingOut() const
{
    return layoutPending_;
}

void DiagramPage::waitForLayout()
{
    while (layoutPending_) {
        watcher_.waitForFinished();
        layoutFinished();
    }
}

void DiagramPage::showPicture(const diagram::Layout& layout, bool keepView)
{
    progress_->hide();
    picture_ = diagram::pictureOf(*data_, layout);
    if (overlay_)
        diagram::overlayOutage(picture_, *overlay_);
    const DiagramView::Place place = view_->place();
    view_->setPicture(picture_);
    if (keepView && place.valid)
        view_->setPlace(place);
    else
        view_->fitAll();
    if (overlay_)
        status_->setText(QStringLiteral("Исход: %1").arg(QString::fromStdString(overlay_->outcome)));
    else
        status_->setText(picture_.withResults ? QString()
                                              : QStringLiteral("Данные отвергнуты: ошибки отмечены на схеме"));
    QStringList notes;
    for (const std::string& line : picture_.notes)
        notes << QString::fromStdString(line);
    notes_->setText(notes.join(QLatin1Char('\n')));
    notes_->setVisible(!notes.isEmpty());
}

void DiagramPage::findNode()
{
    bool ok = false;
    const int number = search_->text().toInt(&ok);
    if (!ok)
        return;
    // The focus stays in the field, ready for the next number.
    search_->setFocus();
    search_->selectAll();
    if (view_->centreOnNode(number)) {
        status_->setText(QStringLiteral("Узел %1").arg(number));
    } else {
        status_->setText(QStringLiteral("Узел %1 на схеме не найден").arg(number));
    }
}

void DiagramPage::focusSearch()
{
    search_->setFocus();
    search_->selectAll();
}

}  // namespace tarvel::ui
