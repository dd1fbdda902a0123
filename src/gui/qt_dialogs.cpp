// TQtDialogs: message boxes, file dialogs and number questions with Qt widgets.
#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

#include "gui/language_apply.h"
#include "gui/phantom_dialog.h"
#include "gui/qt_text.h"
#include "gui/segment_dialog.h"
#include "shell/language.h"
#include "shell/messages.h"

namespace tessaly::gui {

QString QtNameFilter(const TChooseFilter &filter)
{
    QString label = Q(filter.Label);
    int open = label.lastIndexOf(QLatin1String(" ("));
    if (open >= 0)
        label.truncate(open);
    QString patterns = Q(filter.Patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return label + QLatin1String(" (") + patterns + QLatin1Char(')');
}

TMsgResult TQtDialogs::Message(TMsgType type, const std::string &text, unsigned buttons)
{
    QMessageBox box(FParent);
    static const QMessageBox::Icon icons[] = {QMessageBox::Information, QMessageBox::Warning,
                                              QMessageBox::Critical, QMessageBox::Question};
    box.setIcon(icons[type]);
    box.setWindowTitle(Q(Msg("ApplicationTitle")));
    QString body = Q(text);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setText(body);
    struct TPair {
        unsigned Button;
        QMessageBox::StandardButton Qt;
        TMsgResult Result;
    };
    static const TPair pairs[] = {{mbYes, QMessageBox::Yes, mrYes},       {mbNo, QMessageBox::No, mrNo},
                                  {mbOK, QMessageBox::Ok, mrOK},          {mbCancel, QMessageBox::Cancel, mrCancel},
                                  {mbAbort, QMessageBox::Abort, mrAbort}, {mbHelp, QMessageBox::Help, mrNone}};
    QMessageBox::StandardButtons shown;
    for (const TPair &p : pairs)
        if (buttons & p.Button)
            shown |= p.Qt;
    if (!shown)
        shown = QMessageBox::Ok;
    box.setStandardButtons(shown);
    QMessageBox::StandardButton chosen = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const TPair &p : pairs)
        if (p.Qt == chosen)
            return p.Result;
    // Closed with Esc or the title bar: the safest answer offered.
    if (buttons & mbCancel)
        return mrCancel;
    if (buttons & mbNo)
        return mrNo;
    return (buttons & mbAbort) ? mrAbort : mrOK;
}

TSegmentAnswer TQtDialogs::AskSegments(const std::string &caption, const std::vector<std::string> &files,
                                       int helpContext)
{
    TSegmentDialog dialog(caption, files, helpContext != 0, FParent);
    ApplyLanguage(dialog);
    return dialog.Ask();
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget *parent, const TFileRequest &request, QStringList &filters)
{
    // (A folder ending in a file name opens in that folder with the name filled in.)
    auto owned = std::make_unique<QFileDialog>(parent, Q(request.Title), Q(request.Folder));
    QFileDialog &dialog = *owned;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    filters.clear();
    QStringList suffixes;   // the extension a typed name gets with each filter entry
    for (const TChooseFilter &f : request.Filters) {
        filters << QtNameFilter(f);
        const std::string &p = f.Patterns;
        const size_t dot = p.find('.'), end = p.find(';');
        suffixes << (dot == std::string::npos ? QString() : Q(p.substr(dot + 1, end == std::string::npos ? end : end - dot - 1)));
    }
    if (filters.isEmpty()) {
        filters << Q(Msg("CapPrjFiles") + " (*.tsp)");
        suffixes << QStringLiteral("tsp");
    }
    dialog.setNameFilters(filters);
    const int preselected = request.Preselected >= 0 && request.Preselected < filters.size() ? request.Preselected : 0;
    dialog.selectNameFilter(filters[preselected]);
    if (request.Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.ConfirmOverwrite);
        // The suffix a typed name gets follows the chosen type ("*.wav" gives ".wav").
        dialog.setDefaultSuffix(suffixes[preselected]);
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, filters, suffixes](const QString &filter) {
                             const qsizetype index = filters.indexOf(filter);
                             if (index >= 0)
                                 dialog.setDefaultSuffix(suffixes[index]);
                         });
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    return owned;
}

bool FileDialogAnswer(const QFileDialog &dialog, const QStringList &filters, TFileAnswer &answer)
{
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return false;
    answer.FileName = S(files.first());
    answer.Filter = std::max<int>(0, int(filters.indexOf(dialog.selectedNameFilter())));
    return true;
}

bool TQtDialogs::ChooseFile(const TFileRequest &request, TFileAnswer &answer)
{
    QStringList filters;
    const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(FParent, request, filters);
    return dialog->exec() == QDialog::Accepted && FileDialogAnswer(*dialog, filters, answer);
}

bool TQtDialogs::AskText(const std::string &caption, const std::string &prompt, std::string &value)
{
    bool ok = false;
    QString text = QInputDialog::getText(FParent, Q(caption), Q(prompt), QLineEdit::Normal, Q(value), &ok);
    if (ok)
        value = S(text);
    return ok;
}

int TQtDialogs::AskAudioStream(const std::string &question, const std::vector<std::string> &streams)
{
    QStringList items;
    for (const std::string &s : streams)
        items << Q(s);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(FParent, Q(Msg("ApplicationTitle")), Q(question), items, 0,
                                                 false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}

bool TQtDialogs::AskPhantomClip(TPhantomValues &values)
{
    TPhantomDialog dialog(FParent);
    ApplyLanguage(dialog);
    dialog.SetValues(values);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    values = dialog.Values();
    return true;
}

} // namespace tessaly::gui
