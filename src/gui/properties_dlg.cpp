// TPropertiesDlg: layout of the four groups and the filling of the value labels.
#include "gui/properties_dlg.h"

#include "gui/help_window.h"
#include "shell/help_topics.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "gui/language_apply.h"
#include "gui/qt_text.h"
#include "shell/messages.h"
#include "gui/window_placement.h"
#include "project/properties_texts.h"

namespace tessaly::gui {

namespace {

// A value label's name; its caption's key is the name with "Cap" for "Lbl".
struct TGroup {
    const char *Name;
    std::vector<const char *> Values;
};

const std::vector<TGroup> &Groups()
{
    static const std::vector<TGroup> groups = {
        {"GrpVideo",
         {"LblVidType", "LblVidCodec", "LblVidSize", "LblVidCD", "LblVidFrm", "LblVidQuality", "LblVidFPS", "LblVidLen"}},
        {"GrpAudio", {"LblAudType", "LblAudFmt", "LblAudLen"}},
        {"GrpDouble", {"LblDblType", "LblDblFmt", "LblDblLen"}},
        {"GrpSR", {"LblSRPreview", "LblSRResult"}},
    };
    return groups;
}

QString FormText(const std::string &part)
{
    return Q(Msg("TPropertiesDlg." + part + ".Caption"));
}

} // namespace

TPropertiesDlg::TPropertiesDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TPropertiesDlg"));
    setWindowTitle(Q(Msg("TPropertiesDlg.Caption")));
    auto *outer = new QVBoxLayout(this);
    // The groups scroll on a low screen (or at a large scale factor); the buttons stay.
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("PropertiesPage"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    for (const TGroup &g : Groups()) {
        auto *box = new QGroupBox(FormText(g.Name));
        box->setObjectName(QLatin1String(g.Name));
        auto *grid = new QGridLayout(box);
        grid->setColumnStretch(1, 1);
        int row = 0;
        for (const char *name : g.Values)
            FValues[name] = AddPair(grid, row++, name);
        layout->addWidget(box);
    }
    auto *buttons = new QHBoxLayout;
    auto *close = new QPushButton(Q(Msg("TPropertiesDlg.BtnClose.Caption")));
    close->setObjectName(QStringLiteral("BtnClose"));
    close->setDefault(true);
    buttons->addWidget(NewHelpButton(htProperties, this));
    buttons->addStretch(1);
    buttons->addWidget(close);
    outer->addWidget(ScrollingPage(*page), 1);
    outer->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

QLabel *TPropertiesDlg::AddPair(QGridLayout *grid, int row, const char *name)
{
    // The caption's name is the value's with "Cap" for "Lbl", so the language reaches it.
    const std::string captionName = "Cap" + std::string(name + 3);
    auto *left = new QLabel(FormText(captionName));
    left->setObjectName(QString::fromStdString(captionName));
    auto *value = new QLabel(QStringLiteral("-"));
    value->setObjectName(QLatin1String(name));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(left, row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

void TPropertiesDlg::Fill(const TIOMovieReader *video, const TWaveReader *audio, long double refFps,
                          const TWaveReader *doubleTrack, bool forceVfw)
{
    ApplyLanguage(*this);
    const TPropertiesTexts t = PropertiesTexts(video, audio, refFps, doubleTrack, forceVfw);
    const std::pair<const char *, const std::string *> values[] = {
        {"LblVidType", &t.VidType}, {"LblVidCodec", &t.VidCodec},   {"LblVidSize", &t.VidSize},
        {"LblVidCD", &t.VidCD},     {"LblVidFrm", &t.VidFrm},       {"LblVidQuality", &t.VidQuality},
        {"LblVidFPS", &t.VidFPS},   {"LblVidLen", &t.VidLen},       {"LblAudType", &t.AudType},
        {"LblAudFmt", &t.AudFmt},   {"LblAudLen", &t.AudLen},       {"LblDblType", &t.DblType},
        {"LblDblFmt", &t.DblFmt},   {"LblDblLen", &t.DblLen},       {"LblSRPreview", &t.SRPreview},
        {"LblSRResult", &t.SRResult}};
    // After the language: the value labels' own captions are only placeholders.
    for (const auto &[name, text] : values)
        FValues.at(name)->setText(Q(*text));
}

void TPropertiesDlg::ShowModal(const TIOMovieReader *video, const TWaveReader *audio, long double refFps,
                               const TWaveReader *doubleTrack, bool forceVfw)
{
    Fill(video, audio, refFps, doubleTrack, forceVfw);
    exec();
}

QString TPropertiesDlg::Value(const char *name) const
{
    const auto it = FValues.find(name);
    return it == FValues.end() ? QString() : it->second->text();
}

} // namespace tessaly::gui
