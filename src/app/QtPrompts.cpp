// Prompts shown with Qt's standard dialogs.
#include "app/QtPrompts.h"

#include "platform/FileUtil.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace larderly {

namespace {
QString Caption(const std::string& caption) {
    return caption.empty() ? QStringLiteral("Larderly") : QString::fromStdString(caption);
}

QWidget* Parent(QWidget* p) {
    return p ? p : QApplication::activeWindow();
}
} // namespace

PromptAnswer QtPrompts::Message(PromptKind kind, const std::string& text, PromptButtons buttons,
                                const std::string& caption) {
    QMessageBox box(Parent(parent_));
    box.setWindowTitle(Caption(caption));
    box.setText(QString::fromStdString(text));
    switch (kind) {
    case PromptKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case PromptKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case PromptKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case PromptKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    QMessageBox::StandardButtons set;
    switch (buttons) {
    case PromptButtons::Ok:
        set = QMessageBox::Ok;
        break;
    case PromptButtons::OkCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoSafe:
        set = QMessageBox::Yes | QMessageBox::No;
        break;
    case PromptButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case PromptButtons::YesCancel:
    case PromptButtons::YesCancelSafe:
        set = QMessageBox::Yes | QMessageBox::Cancel;
        break;
    case PromptButtons::RetryCancel:
        set = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(set);
    if (buttons == PromptButtons::YesNoSafe) box.setDefaultButton(QMessageBox::No);
    if (buttons == PromptButtons::YesCancelSafe) box.setDefaultButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Retry:
        return PromptAnswer::Retry;
    default:
        return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    }
}

std::optional<std::string> QtPrompts::Input(const std::string& caption, const std::string& prompt,
                                            const std::string& initial) {
    bool ok = false;
    QString v =
        QInputDialog::getText(Parent(parent_), Caption(caption), QString::fromStdString(prompt),
                              QLineEdit::Normal, QString::fromStdString(initial), &ok);
    if (!ok) return std::nullopt;
    return v.toStdString();
}

namespace {
QStringList DialogFilters(const std::vector<std::string>& filters) {
    QStringList f;
    for (const auto& s : filters) {
        // "*.*" means every file: here a file name need not have a dot.
        QString q = QString::fromStdString(s);
        q.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
        f << q;
    }
    return f;
}

bool IsCatchAll(const QString& filter) {
    return filter.endsWith(QStringLiteral("(*)"));
}
} // namespace

std::vector<std::string> QtPrompts::OpenFiles(const std::string& title,
                                              const std::vector<std::string>& filters,
                                              const std::string& startFolder, bool multiple) {
    const QStringList f = DialogFilters(filters);
    const QString filter = f.join(";;");
    // A leading catch-all entry stays on offer, but the first specific entry is preselected.
    QString selected = f.size() > 1 && IsCatchAll(f.front()) ? f[1] : QString();
    std::vector<std::string> out;
    if (multiple) {
        for (const QString& s :
             QFileDialog::getOpenFileNames(Parent(parent_), QString::fromStdString(title),
                                           QString::fromStdString(startFolder), filter, &selected))
            out.push_back(s.toStdString());
    } else {
        QString s =
            QFileDialog::getOpenFileName(Parent(parent_), QString::fromStdString(title),
                                         QString::fromStdString(startFolder), filter, &selected);
        if (!s.isEmpty()) out.push_back(s.toStdString());
    }
    return out;
}

std::optional<std::string> QtPrompts::BrowseFolder(const std::string& title,
                                                   const std::string& startFolder) {
    QString s = QFileDialog::getExistingDirectory(Parent(parent_), QString::fromStdString(title),
                                                  QString::fromStdString(startFolder));
    if (s.isEmpty()) return std::nullopt;
    return s.toStdString();
}

namespace {
// The extension of a filter's first pattern ("Meal-Master File (*.mmf)" gives "mmf"); empty
// for a catch-all.
QString FilterSuffix(const QString& filter) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("\\(\\*\\.([A-Za-z0-9]+)")).match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}
} // namespace

std::optional<std::string> QtPrompts::SaveFile(const std::string& title,
                                               const std::vector<std::string>& filters,
                                               const std::string& startPath) {
    QFileDialog dlg(Parent(parent_), QString::fromStdString(title));
    dlg.setObjectName("SaveDialog1");
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    const QStringList f = DialogFilters(filters);
    if (!f.isEmpty()) dlg.setNameFilters(f);
    // A name typed without an extension gets the chosen type's.
    dlg.setDefaultSuffix(f.isEmpty() ? QString() : FilterSuffix(f.front()));
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg,
                     [&dlg](const QString& filter) { dlg.setDefaultSuffix(FilterSuffix(filter)); });
    const std::string folder = fileutil::ExtractFilePath(startPath);
    const std::string name = fileutil::ExtractFileName(startPath);
    if (!folder.empty()) dlg.setDirectory(QString::fromStdString(folder));
    if (!name.empty()) dlg.selectFile(QString::fromStdString(name));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().front().toStdString();
}

} // namespace larderly
