#pragma once
// The window-level dialogs of the editor behind one small interface, so that tests can answer
// them: message boxes, Yes/No questions and file dialogs.
//
// Filters are written as pairs of description and pattern separated by '|', for example
// "Pojedynczy komunikat (*.kom)|*.kom|Zbiór komunikatów (*.kzb)|*.kzb".

#include <QString>
#include <QStringList>

class QWidget;

// The operator's answer to a question before unsaved work would be lost.
enum class SaveAnswer { Save, Discard, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Error box: title "Błąd", error icon, one OK button, owned by no window.
    virtual void Error(const QString& text) = 0;
    // The same box with `reason` as its secondary (informative) text under `text`; an empty
    // reason gives the plain box.
    virtual void ErrorWithReason(const QString& text, const QString& reason) = 0;
    // Warning: title "Uwaga", warning icon, one OK button, owned by no window.
    virtual void Warning(const QString& text) = 0;
    // Question: title "Pytanie", warning icon, buttons Yes and No with Yes the default.
    // True for Yes; closing the box counts as No.
    virtual bool Ask(const QString& text) = 0;
    // File-open dialog; the chosen name, or an empty text when cancelled. A name typed without
    // an extension gets `defaultExtension` (without the dot). The dialog opens in
    // `startFolder`, or in the current directory when that is empty.
    virtual QString OpenFile(QWidget* owner, const QString& filter, const QString& defaultExtension,
                             const QString& startFolder) = 0;
    // File-save dialog, as OpenFile, except that `start` may also name a file: the dialog then
    // opens in its folder with its name proposed. Choosing a file that exists asks whether to
    // replace it; answered No, the dialog stays open.
    virtual QString SaveFile(QWidget* owner, const QString& filter, const QString& defaultExtension,
                             const QString& start) = 0;
    // Question before work would be lost: title "Pytanie", warning icon, buttons "Zapisz",
    // "Nie zapisuj" and "Anuluj" with "Zapisz" the default; closing the box counts as
    // "Anuluj".
    virtual SaveAnswer AskSave(const QString& text) = 0;
};

// The real dialogs of the toolkit.
class QtDialogs final : public Dialogs {
public:
    void Error(const QString& text) override;
    void ErrorWithReason(const QString& text, const QString& reason) override;
    void Warning(const QString& text) override;
    bool Ask(const QString& text) override;
    QString OpenFile(QWidget* owner, const QString& filter, const QString& defaultExtension,
                     const QString& startFolder) override;
    QString SaveFile(QWidget* owner, const QString& filter, const QString& defaultExtension,
                     const QString& start) override;
    SaveAnswer AskSave(const QString& text) override;
};

// "Desc (*.a)|*.a|Desc2|*.b" as the toolkit's name filters: each description followed by its
// pattern in parentheses unless the description already ends with it. A trailing description
// without a pattern is kept as it is.
QStringList ToNameFilters(const QString& pipeFilter);

// `name` with ".`extension`" appended when its last path component has no extension and
// `extension` is not empty; otherwise `name` unchanged.
QString WithDefaultExtension(const QString& name, const QString& extension);
