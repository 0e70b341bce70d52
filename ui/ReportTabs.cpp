#include "ui/ReportTabs.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/CalculationRun.h"
#include "model/WorkingFiles.h"
#include "ui/PaneFiles.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

namespace {

// A working file as the panes name it: within the working folder, which is
// the current one.
QString paneFile(const std::filesystem::path& file)
{
    return QString::fromStdString(file.filename().string());
}

}  // namespace

ReportTabs::ReportTabs(QWidget* parent, const QString& inputCaption) : QObject(parent)
{
    tabs_ = new QTabWidget(parent);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    struct PageInfo {
        const char* pageName;
        const char* paneName;
        QString caption;
        int helpContext;
    };
    const PageInfo pages[] = {
        {"TabSheet1", "Memo1", inputCaption, 200},
        {"TabSheet2", "Memo2", QStringLiteral("Исх. данные"), 300},
        {"TabSheet3", "Memo3", QStringLiteral("Результаты"), 400},
        {"TabSheet4", "Memo5", QStringLiteral("Анализ потерь"), 300},
        {"TabSheet5", "Memo6", QStringLiteral("Составляющие потерь"), 300},
    };
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const PageInfo& info = pages[i];
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(info.pageName));
        page->setProperty(kHelpContext, info.helpContext);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        if (i != Input) {
            auto* note = new QLabel(page);
            note->setObjectName(QStringLiteral("StateNote%1").arg(i + 1));
            note->setStyleSheet(QStringLiteral("QLabel { background: #fff3c4; padding: 2px 4px; }"));
            note->setWordWrap(true);
            note->hide();
            layout->addWidget(note);
            notes_[i] = note;
        }
        auto* pane = new TextPane(QLatin1String(info.paneName), page);
        pane->setProperty(kHelpContext, info.helpContext);
        layout->addWidget(pane);
        tabs_->addTab(page, info.caption);
        if (i != Input)
            tabs_->setTabVisible(static_cast<int>(i), false);
        pages_[i] = page;
        panes_[i] = pane;
        // Shown, entered (the focus comes into the page's pane) and clicked
        // outside the pane.
        page->installEventFilter(this);
        pane->installEventFilter(this);
    }
    panes_[Input]->setOemConvert(true);
    panes_[Echo]->setOemConvert(true);
    tabs_->setCurrentIndex(Input);
    tabs_->hide();
}

QWidget* ReportTabs::addPage(Page page, const char* pageName, const QString& caption, QWidget* content,
                             int helpContext)
{
    auto* sheet = new QWidget;
    sheet->setObjectName(QLatin1String(pageName));
    if (helpContext >= 0)
        sheet->setProperty(kHelpContext, helpContext);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    content->setParent(sheet);
    layout->addWidget(content);
    const int index = tabs_->addTab(sheet, caption);
    Q_ASSERT(index == page);
    tabs_->setTabVisible(index, false);
    return sheet;
}

TextPane* ReportTabs::paneOf(int page) const
{
    return page >= Input && page <= Allocation ? panes_[static_cast<std::size_t>(page)] : nullptr;
}

std::array<TextPane*, 5> ReportTabs::textPanes() const
{
    return panes_;
}

TextPane* ReportTabs::activePane() const
{
    return paneOf(tabs_->currentIndex());
}

bool ReportTabs::isShown(Page page) const
{
    return tabs_->isTabVisible(page);
}

void ReportTabs::setShown(Page page, bool shown)
{
    tabs_->setTabVisible(page, shown);
}

void ReportTabs::activate(Page page)
{
    // A hidden tab's page would show without its tab: never switch to one.
    if (!tabs_->isTabVisible(page))
        return;
    if (tabs_->currentIndex() != page)
        tabs_->setCurrentIndex(page);  // the page's show event tells paneEntered
    else if (tabs_->isVisible() && paneOf(page))
        emit paneEntered(paneOf(page));
}

void ReportTabs::setStateNote(const QString& note)
{
    for (QLabel* label : notes_) {
        if (!label)
            continue;
        label->setText(note);
        label->setVisible(!note.isEmpty());
    }
}

QString ReportTabs::stateNote() const
{
    return notes_[Results]->isHidden() ? QString() : notes_[Results]->text();
}

void ReportTabs::hideResults()
{
    setStateNote(QString());
    for (int i = Echo; i <= Tables; ++i)
        tabs_->setTabVisible(i, false);
}

QString ReportTabs::inputCaption() const
{
    QString caption = tabs_->tabText(Input);
    caption.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return caption;
}

void ReportTabs::setInputCaption(const QString& caption)
{
    tabs_->setTabText(Input, menuCaption(caption));
}

void ReportTabs::hideReports()
{
    // The input comes forward when its report tab goes, even though the
    // toolkit would move to the "Схема" tab beside it.
    const int shown = tabs_->currentIndex();
    for (Page page : {Results, Echo, Analysis, Allocation})
        tabs_->setTabVisible(page, false);
    if (!tabs_->isTabVisible(shown) || !tabs_->isTabVisible(tabs_->currentIndex()))
        activate(Input);
}

bool ReportTabs::loadReports(const app::WorkingFilePaths& files)
{
    setShown(Echo, true);
    if (!loadPane(Echo, paneFile(files.echo)))
        return false;
    setShown(Results, true);
    if (!loadPane(Results, paneFile(files.results)))
        return false;
    if (isShown(Analysis) && !loadPane(Analysis, paneFile(files.districts)))
        return false;
    if (isShown(Allocation) && !loadPane(Allocation, paneFile(files.currents)))
        return false;
    activate(Results);
    return true;
}

void ReportTabs::showLossAnalysis()
{
    setShown(Analysis, true);
    if (!loadPane(Analysis, QString::fromLatin1(kDistrictFile)))
        return;
    activate(Analysis);
}

void ReportTabs::loadLossAllocation()
{
    loadPane(Allocation, QString::fromLatin1(kLossShareFile));
}

bool ReportTabs::loadPane(Page page, const QString& fileName)
{
    return ui::loadPane(tabs_->window(), panes_[page], fileName);
}

bool ReportTabs::eventFilter(QObject* watched, QEvent* event)
{
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (watched == pages_[i]) {
            // A window restored from its minimized state shows its pages again
            // without any page being shown anew.
            if ((event->type() == QEvent::Show && !event->spontaneous()) || event->type() == QEvent::MouseButtonPress)
                emit paneEntered(panes_[i]);
        } else if (watched == panes_[i] && event->type() == QEvent::FocusIn) {
            // The focus coming back to the window (after a dialog, a menu or
            // another program) returns to the same pane and enters no page.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                emit paneEntered(panes_[i]);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarvel::ui
