#pragma once
// Dialogs answered from a script, recording what the window asked.

#include "app/Dialogs.h"

#include <QStringList>

#include <deque>

class ScriptedDialogs final : public Dialogs {
public:
    void Error(const QString& text) override { ErrorWithReason(text, {}); }
    void ErrorWithReason(const QString& text, const QString& reason) override {
        errors << text;
        reasons << reason;
    }
    void Warning(const QString& text) override { warnings << text; }
    bool Ask(const QString& text) override {
        questions << text;
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    SaveAnswer AskSave(const QString& text) override {
        questions << text;
        if (saveAnswers.empty()) {
            return SaveAnswer::Cancel;
        }
        const SaveAnswer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    QString OpenFile(QWidget*, const QString& filter, const QString& ext,
                     const QString& startFolder) override {
        startFolders << startFolder;
        return Next(filter, ext);
    }
    QString SaveFile(QWidget*, const QString& filter, const QString& ext,
                     const QString& startFolder) override {
        startFolders << startFolder;
        return Next(filter, ext);
    }

    std::deque<bool> answers;           // Yes/No answers, in order; none left answers No
    std::deque<SaveAnswer> saveAnswers; // answers to AskSave; none left cancels
    std::deque<QString> files;          // chosen names, in order; none left (or "") cancels
    QStringList errors;
    QStringList reasons; // the secondary text of each error box, "" for none
    QStringList warnings;
    QStringList questions;
    QStringList filters;
    // The folder (or, for a save, the file) each file dialog was opened on, "" for the default.
    QStringList startFolders;

private:
    QString Next(const QString& filter, const QString& ext) {
        filters << filter + QStringLiteral(" / ") + ext;
        if (files.empty()) {
            return {};
        }
        QString name = files.front();
        files.pop_front();
        return name;
    }
};
