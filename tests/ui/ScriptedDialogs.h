// A replacement for the window's dialogs that answers from a queue and records
// every dialog it was asked to show. A dialog without a queued answer of its
// kind is recorded as unexpected and answered with Cancel (or an empty path),
// so a test never blocks; check unexpected() at the end of each test.
#pragma once

#include <deque>
#include <vector>

#include <QFont>
#include <QString>
#include <QStringList>

#include "ui/ContingencyPage.h"
#include "ui/Dialogs.h"

namespace tarvel::test {

class ScriptedDialogs : public tarvel::ui::Dialogs {
public:
    enum class Kind { Message, Question, OpenFile, SaveFile, Font, Number, Text, Contingency, Profile };

    struct Shown {
        Kind kind;
        QString caption;  // question caption or file dialog title
        QString text;     // message or question text, file dialog filter
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;  // of a question
        QString proposed{};     // the path a save dialog, the folder an open dialog opens with
        bool confirmNewFile = true;  // a save dialog asks before creating a file
        QStringList places{};   // the folders an open dialog offers
    };

    ScriptedDialogs() { tarvel::ui::setDialogs(this); }
    ~ScriptedDialogs() override { tarvel::ui::setDialogs(nullptr); }

    // Queued answers, used in order of arrival per kind.
    void answerQuestion(QMessageBox::StandardButton button) { questions_.push_back(button); }
    void answerOpen(const QString& path) { opens_.push_back(path); }   // "" = Cancel
    void answerSave(const QString& path) { saves_.push_back(path); }   // "" = Cancel
    void answerFont(const QFont& font) { fonts_.push_back(font); }
    void answerNumber(double value) { numbers_.push_back(value); }
    void answerText(const QString& text) { textAnswers_.push_back(text); }  // a null QString = Cancel
    void answerContingency(const tarvel::ui::ContingencyRequest& request) { contingencies_.push_back(request); }
    // The load profile's options; without one queued the run goes on
    // without N-1, as the dialog first proposes.
    void answerProfile(const tarvel::ui::ProfileRequest& request) { profiles_.push_back(request); }

    void message(QWidget*, const QString& text, QMessageBox::Icon icon) override
    {
        shown.push_back({Kind::Message, QString(), text, icon});
    }
    QMessageBox::StandardButton question(QWidget*, const QString& caption, const QString& text,
                                         QMessageBox::StandardButtons buttons) override
    {
        shown.push_back({Kind::Question, caption, text, QMessageBox::Question, buttons});
        if (questions_.empty()) {
            unexpected_ << QStringLiteral("question: ") + text;
            return QMessageBox::Cancel;
        }
        const auto answer = questions_.front();
        questions_.pop_front();
        return answer;
    }
    QString openFile(QWidget*, const QString& title, const QString& filter, const QStringList& places,
                     const QString& folder) override
    {
        Shown s{Kind::OpenFile, title, filter};
        s.places = places;
        s.proposed = folder;
        shown.push_back(s);
        return next(opens_, QStringLiteral("open dialog"));
    }
    QString saveFile(QWidget*, const QString& title, const QString& filter, const QString& suffix,
                     const QString& proposed, bool confirmNewFile) override
    {
        Shown s{Kind::SaveFile, title, filter + QStringLiteral(" | ") + suffix};
        s.proposed = proposed;
        s.confirmNewFile = confirmNewFile;
        shown.push_back(s);
        return next(saves_, QStringLiteral("save dialog"));
    }
    bool chooseFont(QWidget*, QFont& font) override
    {
        shown.push_back({Kind::Font, QString(), font.family()});
        offeredFonts.push_back(font);
        if (fonts_.empty()) {
            unexpected_ << QStringLiteral("font dialog");
            return false;
        }
        font = fonts_.front();
        fonts_.pop_front();
        return true;
    }

    // Records the label and the proposed value as "label | value".
    bool askNumber(QWidget*, const QString& caption, const QString& label, double& value, double, double,
                   int) override
    {
        shown.push_back({Kind::Number, caption, label + QStringLiteral(" | ") + QString::number(value)});
        if (numbers_.empty()) {
            unexpected_ << QStringLiteral("number: ") + label;
            return false;
        }
        value = numbers_.front();
        numbers_.pop_front();
        return true;
    }

    // Records the label and the proposed text as "label | text".
    bool askText(QWidget*, const QString& caption, const QString& label, QString& value) override
    {
        shown.push_back({Kind::Text, caption, label + QStringLiteral(" | ") + value});
        if (textAnswers_.empty()) {
            unexpected_ << QStringLiteral("text: ") + label;
            return false;
        }
        const QString answer = textAnswers_.front();
        textAnswers_.pop_front();
        if (answer.isNull())
            return false;
        value = answer;
        return true;
    }

    // The contingency study's dialog: the queued request, or Cancel.
    bool contingencyOptions(QWidget*, tarvel::ui::ContingencyRequest& request) override
    {
        Shown s{Kind::Contingency, QString(), request.listFile};
        s.proposed = request.folder;
        shown.push_back(s);
        if (contingencies_.empty()) {
            unexpected_ << QStringLiteral("contingency options");
            return false;
        }
        request = contingencies_.front();
        contingencies_.pop_front();
        return true;
    }

    bool profileOptions(QWidget*, const QString& profileName, tarvel::ui::ProfileRequest& request) override
    {
        Shown s{Kind::Profile, QString(), profileName};
        s.proposed = request.study.folder;
        shown.push_back(s);
        if (!profiles_.empty()) {
            request = profiles_.front();
            profiles_.pop_front();
        }
        return true;
    }

    // Texts of the messages shown, in order.
    QStringList messages() const { return texts(Kind::Message); }
    QStringList questions() const { return texts(Kind::Question); }
    int count(Kind kind) const
    {
        int n = 0;
        for (const Shown& s : shown)
            n += s.kind == kind;
        return n;
    }
    // Dialogs nobody answered, and answers nobody asked for.
    QStringList unexpected() const
    {
        QStringList all = unexpected_;
        if (!questions_.empty())
            all << QStringLiteral("unused question answers: %1").arg(questions_.size());
        if (!opens_.empty())
            all << QStringLiteral("unused open answers: %1").arg(opens_.size());
        if (!saves_.empty())
            all << QStringLiteral("unused save answers: %1").arg(saves_.size());
        if (!fonts_.empty())
            all << QStringLiteral("unused font answers: %1").arg(fonts_.size());
        if (!numbers_.empty())
            all << QStringLiteral("unused number answers: %1").arg(numbers_.size());
        if (!textAnswers_.empty())
            all << QStringLiteral("unused text answers: %1").arg(textAnswers_.size());
        if (!contingencies_.empty())
            all << QStringLiteral("unused contingency answers: %1").arg(contingencies_.size());
        if (!profiles_.empty())
            all << QStringLiteral("unused profile answers: %1").arg(profiles_.size());
        return all;
    }
    void clear() { shown.clear(); }

    std::vector<Shown> shown;
    std::vector<QFont> offeredFonts;  // that the font dialogs were loaded with

private:
    std::deque<tarvel::ui::ContingencyRequest> contingencies_;
    std::deque<tarvel::ui::ProfileRequest> profiles_;
    QString next(std::deque<QString>& queue, const QString& what)
    {
        if (queue.empty()) {
            unexpected_ << what;
            return QString();
        }
        QString path = queue.front();
        queue.pop_front();
        return path;
    }
    QStringList texts(Kind kind) const
    {
        QStringList out;
        for (const Shown& s : shown)
            if (s.kind == kind)
                out << s.text;
        return out;
    }

    std::deque<QMessageBox::StandardButton> questions_;
    std::deque<QString> opens_;
    std::deque<QString> saves_;
    std::deque<QFont> fonts_;
    std::deque<double> numbers_;
    std::deque<QString> textAnswers_;
    QStringList unexpected_;
};

}  // namespace tarvel::test
