#include "app/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

void QtDialogs::Error(const QString& text) {
    ErrorWithReason(text, {});
}

void QtDialogs::ErrorWithReason(const QString& text, const QString& reason) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Błąd"), text, QMessageBox::Ok);
    box.setInformativeText(reason);
    box.exec();
}

void QtDialogs::Warning(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Uwaga"), text, QMessageBox::Ok);
    box.exec();
}

bool QtDialogs::Ask(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pytanie"), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

SaveAnswer QtDialogs::AskSave(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pytanie"), text);
    QPushButton* save = box.addButton(QStringLiteral("Zapisz"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("Nie zapisuj"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Anuluj"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) {
        return SaveAnswer::Save;
    }
    return box.clickedButton() == discard ? SaveAnswer::Discard : SaveAnswer::Cancel;
}

namespace {

QString RunFileDialog(QWidget* owner, QFileDialog::AcceptMode mode, const QString& filter,
                      const QString& defaultExtension, const QString& start) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(ToNameFilters(filter));
    dialog.setDefaultSuffix(defaultExtension);
    const QFileInfo startInfo(start);
    if (start.isEmpty()) {
        dialog.setDirectory(QDir::currentPath());
    } else if (startInfo.isDir()) {
        dialog.setDirectory(start);
    } else if (startInfo.absoluteDir().exists()) {
        dialog.setDirectory(startInfo.absolutePath());
        dialog.selectFile(startInfo.fileName());
    } else {
        dialog.setDirectory(QDir::currentPath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return WithDefaultExtension(dialog.selectedFiles().constFirst(), defaultExtension);
}

} // namespace

QString QtDialogs::OpenFile(QWidget* owner, const QString& filter, const QString& defaultExtension,
                            const QString& startFolder) {
    return RunFileDialog(owner, QFileDialog::AcceptOpen, filter, defaultExtension, startFolder);
}

QString QtDialogs::SaveFile(QWidget* owner, const QString& filter, const QString& defaultExtension,
                            const QString& start) {
    return RunFileDialog(owner, QFileDialog::AcceptSave, filter, defaultExtension, start);
}

QStringList ToNameFilters(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        if (i + 1 >= parts.size()) {
            if (!description.isEmpty()) {
                filters << description;
            }
            break;
        }
        const QString pattern = parts[i + 1].trimmed();
        const QString suffix = QStringLiteral("(") + pattern + QStringLiteral(")");
        filters << (description.endsWith(suffix) ? description
                                                 : description + QLatin1Char(' ') + suffix);
    }
    return filters;
}

QString WithDefaultExtension(const QString& name, const QString& extension) {
    if (name.isEmpty() || extension.isEmpty()) {
        return name;
    }
    if (!QFileInfo(name).suffix().isEmpty()) {
        return name;
    }
    if (name.endsWith(QLatin1Char('.'))) {
        return name + extension;
    }
    return name + QLatin1Char('.') + extension;
}
