// TMainWin: the document operations of the File menu: new, open, close, save, recent files.

#include "cel_Main.h"

#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_EditWin.h"
#include "cel_OutputWin.h"
#include "cel_SourceText.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <string_view>
#include <utility>

namespace {

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// A literal "&" in a menu caption is written "&&".
QString CaptionOf(const QString& path) {
    QString caption = path;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return caption;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Documents

void TMainWin::MenuNewClick() {
    EditWin->NewDocument();
    ShowEditor();
    MenuClearOutputClick();
}

void TMainWin::MenuOpenClick() {
    const QStringList files = cel::Dialogs().OpenFileNames(this, QStringLiteral("Open File"),
                                                           QDir::currentPath(), cel::SourceFilter, true);
    OpenFiles(files);
}

void TMainWin::OpenFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    for (const QString& path : paths) OpenFile(path);
    AfterOpen();
}

void TMainWin::TakeHandedFiles(const QStringList& paths) {
    HandedFiles += paths;
    HandOverWaiting = true;
    OpenHandedFiles();
}

void TMainWin::OpenHandedFiles() {
    if (!HandOverWaiting) return;
    if (Running() || QApplication::activeModalWidget() || State.ModalOpen) {
        // The documents are locked; the user sees the IDE at least, and the files come later.
        if (!HandOverCheck.isActive()) {
            HandOverCheck.setInterval(200);
            connect(&HandOverCheck, &QTimer::timeout, this, &TMainWin::OpenHandedFiles, Qt::UniqueConnection);
            HandOverCheck.start();
            ComeToFront();
        }
        return;
    }
    HandOverCheck.stop();
    HandOverWaiting = false;
    const QStringList paths = std::exchange(HandedFiles, {});
    bool opened = false;
    for (const QString& path : paths) {
        int open = -1;
        for (int i = 0; i < EditWin->DocumentCount() && open < 0; ++i) {
            const QString name = EditWin->Document(i)->FileName;
            if (!name.isEmpty() && (name == path || QFileInfo(name) == QFileInfo(path))) open = i;
        }
        if (open < 0) {
            OpenFile(path);
            opened = true;
        } else if (open != EditWin->Tabs->currentIndex()) {
            EditWin->TabsChanging();
            EditWin->Tabs->setCurrentIndex(open);
            EditWin->TabsChange();
        }
    }
    if (opened) AfterOpen();
    else if (!paths.isEmpty()) ShowEditor();
    ComeToFront();
}

void TMainWin::ComeToFront() {
    if (isMinimized()) showNormal();  // brings the work windows Minimize took down back too
    raise();
    // The editor takes the focus when it is shown; otherwise the main window does.
    QWidget* target = EditWin && EditWin->isVisible() ? static_cast<QWidget*>(EditWin) : static_cast<QWidget*>(this);
    if (target->isMinimized()) target->showNormal();
    target->raise();
    target->activateWindow();
}

void TMainWin::LeaveSettingsUnsaved() {
    if (!SettingsSaved) return;
    SettingsSaved = false;
    cel::ShowInformation(this, QStringLiteral("Another Cellwright is running. This one will not save its settings "
                                              "when it ends, so that it does not overwrite the other's."));
}

bool TMainWin::OpenFile(const QString& path) {
    // The path is used as it is: an "&" is a real character of a file name.
    bool failed = false;
    if (!QFileInfo::exists(path)) {
        cel::ShowInformation(this, QStringLiteral("The file ") + Quoted(path) + QStringLiteral(" does not exist."));
    } else {
        QFile file(path);
        QByteArray bytes;
        if (!file.open(QIODevice::ReadOnly)) failed = true;
        else {
            bytes = file.readAll();
            if (file.error() != QFile::NoError) failed = true;
        }
        if (!failed) {
            const std::string text = cel::SourceTextFromBytes(cel::BytesView(bytes));
            TContent* current = EditWin->CurrentDocument();
            if (!current || !current->FileName.isEmpty() || current->Modified || !current->Lines.isEmpty() ||
                !EditWin->Text().isEmpty()) {
                EditWin->AddDocument(path);
            }
            TContent* target = EditWin->CurrentDocument();
            target->Lines = QByteArray::fromStdString(text);
            EditWin->SetText(target->Lines);
            target->Modified = false;
            target->FileName = path;
            EditWin->NameTab(path, EditWin->Tabs->currentIndex());
            EditWin->UpdateCaption();
            AddRecent(path);
            // The text ends at a NUL byte; what follows it is not in the editor, and saving the
            // document would drop it from the file. The user is told rather than left to find out.
            const qsizetype nul = bytes.indexOf('\0');
            if (nul >= 0)
                cel::ShowInformation(this, QStringLiteral("The file ") + Quoted(path) +
                                               QStringLiteral(" contains a NUL byte at offset %1. Only the text "
                                                              "before it was loaded; saving the file would remove "
                                                              "the rest (%2 bytes).")
                                                   .arg(nul)
                                                   .arg(bytes.size() - nul));
        } else {
            cel::ShowInformation(this, QStringLiteral("The file ") + Quoted(path) +
                                           QStringLiteral(" could not be opened.\n\nMaybe you're using an old version "
                                                          "of Windows (Windows 95/98/ME do not allow files >64KB), or "
                                                          "you don't have access rights for that file."));
        }
    }
    const QString dir = QFileInfo(path).absolutePath();
    if (!dir.isEmpty()) QDir::setCurrent(dir);
    if (!failed) MenuClearOutputClick();
    return !failed;
}

void TMainWin::AfterOpen() {
    State.InputFileName.clear();
    State.OutputFileName.clear();
    ShowEditor();
    EditWin->UpdateStatus();
    ClearRunCounters();
}

bool TMainWin::IsRecent(const QString& path) const {
    for (const QString& recent : RecentPath)
        if (!recent.isEmpty() && recent == path) return true;
    return false;
}

void TMainWin::AddRecent(const QString& path) {
    if (IsRecent(path)) return;
    for (int i = 4; i > 0; --i) {
        RecentPath[i] = RecentPath[i - 1];
        RecentBytes[i] = RecentBytes[i - 1];
    }
    RecentPath[0] = path;
    RecentBytes[0] = QFile::encodeName(path);
    UpdateRecentItems();
}

void TMainWin::UpdateRecentItems() {
    for (int i = 0; i < 5; ++i) {
        MenuRecent[i]->setText(CaptionOf(RecentPath[i]));
        MenuRecent[i]->setVisible(!RecentPath[i].isEmpty());
    }
}

void TMainWin::MenuRecentClick(int index) {
    if (!MenuRecent[index]->isVisible()) return;
    const QString path = RecentPath[index];
    if (OpenFile(path)) AfterOpen();
    if (index > 0) {
        std::swap(RecentPath[index], RecentPath[0]);
        std::swap(RecentBytes[index], RecentBytes[0]);
        UpdateRecentItems();
    }
}

void TMainWin::MenuCloseClick() {
    if (!QuerySaveCurrent()) return;
    const int n = EditWin->DocumentCount();
    const int i = EditWin->Tabs->currentIndex();
    if (n >= 2) {
        const int next = i == n - 1 ? i - 1 : i;
        EditWin->CloseDocument(i, next);
        EditWin->TabsChange();
        return;
    }
    TContent* d = EditWin->CurrentDocument();
    if (!d->Lines.isEmpty() || d->Modified || !d->FileName.isEmpty() || !EditWin->Text().isEmpty()) {
        d->Lines.clear();
        EditWin->SetText(QByteArray());
        d->Modified = false;
        d->FileName.clear();
        EditWin->NameTab(QString(), i);
        EditWin->UpdateCaption();
        OutputWin->Clear();
    }
}

bool TMainWin::QuerySaveCurrent() {
    TContent* d = EditWin->CurrentDocument();
    if (!d || !d->Modified) return true;
    const QPointer<QWidget> focus = QApplication::focusWidget();
    cel::TDialogs::TAnswer answer;
    {
        const TModalScope scope(TModalScope::Dialog);
        answer = cel::Dialogs().Message(EditWin, cel::TDialogs::TKind::Warning,
                                        Quoted(EditWin->TabCaption(EditWin->Tabs->currentIndex())) +
                                            QStringLiteral(" has changed. Do you want to save?"),
                                        cel::TDialogs::ButtonYes | cel::TDialogs::ButtonNo | cel::TDialogs::ButtonCancel);
    }
    // What the user types next goes where it went before the question.
    if (focus && focus->isVisible()) {
        focus->window()->activateWindow();
        focus->setFocus();
    }
    if (answer == cel::TDialogs::TAnswer::Yes) return SaveCurrent();
    return answer == cel::TDialogs::TAnswer::No;
}

bool TMainWin::QuerySaveAll() {
    const int n = EditWin->DocumentCount();
    for (int i = 0; i < n; ++i) {
        EditWin->TabsChanging();
        EditWin->Tabs->setCurrentIndex(i);
        EditWin->TabsChange();
        if (!QuerySaveCurrent()) return false;
    }
    return true;
}

void TMainWin::MenuSaveClick() { SaveCurrent(); }

bool TMainWin::SaveCurrent() {
    TContent* d = EditWin->CurrentDocument();
    if (d->FileName.isEmpty()) return SaveCurrentAs();
    if (WriteEditorToFile(d->FileName)) {
        d->Modified = false;
        return true;
    }
    const TModalScope scope(TModalScope::Dialog);
    cel::ShowError(EditWin, QStringLiteral("The file ") + Quoted(EditWin->TabCaption(EditWin->Tabs->currentIndex())) +
                                QStringLiteral(" could NOT be saved.\n\nDo you have the necessary rights to write "
                                               "to that file?"));
    return false;
}

bool TMainWin::SaveCurrentAs() {
    TContent* d = EditWin->CurrentDocument();
    const TModalScope scope(TModalScope::Dialog);
    bool result = false;
    QString dir = d->FileName.isEmpty() ? QDir::currentPath() : QFileInfo(d->FileName).absolutePath();
    for (;;) {
        const QString path =
            cel::Dialogs().SaveFileName(this, QStringLiteral("Save File"), dir, cel::SourceFilter, QStringLiteral("b"));
        if (path.isEmpty()) break;
        if (WriteEditorToFile(path)) {
            d->FileName = path;
            EditWin->NameTab(path, EditWin->Tabs->currentIndex());
            d->Modified = false;
            EditWin->UpdateCaption();
            result = true;
            break;
        }
        const auto answer = cel::Dialogs().Message(
            this, cel::TDialogs::TKind::Error,
            QStringLiteral("The save operation failed. Do you want to choose another file for saving?"),
            cel::TDialogs::ButtonYes | cel::TDialogs::ButtonNo);
        if (answer != cel::TDialogs::TAnswer::Yes) break;
        // The dialog opens again where the user was, on the name that failed.
        dir = path;
    }
    return result;
}

void TMainWin::MenuSaveAsClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::PendingInput);
    SaveCurrentAs();
}

bool TMainWin::WriteEditorToFile(const QString& path) {
    // The old file is replaced only once the whole text has been written.
    return cel::ReplaceFileContents(path, EditWin->Text());
}
