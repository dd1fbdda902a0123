// TPhantomDialog: the phantom clip fields; presets and checks come from the core.
#include "gui/phantom_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "gui/qt_text.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {
QSpinBox *NewField(QWidget *parent, const char *name)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(0, 2147483647);
    return box;
}
} // namespace

TPhantomDialog::TPhantomDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TPhantomDlg"));
    setWindowTitle(Q(Msg("TPhantomDlg.Caption")));
    auto *form = new QFormLayout(this);
    FLength = NewField(this, "LengthEdit");
    FPreset = new QComboBox(this);
    FPreset->setObjectName(QStringLiteral("RateBox"));
    for (const std::string &preset : PhantomPresets())
        FPreset->addItem(Q(preset));
    FRate = NewField(this, "RateEdit");
    FScale = NewField(this, "ScaleEdit");
    auto label = [this](const char *name) {
        auto *l = new QLabel(Q(Msg("TPhantomDlg." + std::string(name) + ".Caption")), this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    form->addRow(label("LengthLabel"), FLength);
    form->addRow(label("FpsLabel"), FPreset);
    form->addRow(label("RateLabel"), FRate);
    form->addRow(label("ScaleLabel"), FScale);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    FOk = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    connect(FPreset, &QComboBox::currentIndexChanged, this, &TPhantomDialog::PresetChosen);
    for (QSpinBox *box : {FLength, FRate, FScale})
        connect(box, &QSpinBox::valueChanged, this, &TPhantomDialog::FieldsChanged);
    SetValues(TPhantomValues{});
}

void TPhantomDialog::SetValues(const TPhantomValues &values)
{
    FFilling = true;
    FLength->setValue(values.Frames);
    FRate->setValue(values.Rate);
    FScale->setValue(values.Scale);
    FPreset->setCurrentIndex(values.Preset);
    FFilling = false;
    FieldsChanged();
}

TPhantomValues TPhantomDialog::Values() const
{
    TPhantomValues v;
    v.Frames = FLength->value();
    v.Rate = FRate->value();
    v.Scale = FScale->value();
    v.Preset = FPreset->currentIndex();
    return v;
}

void TPhantomDialog::PresetChosen(int)
{
    if (!FFilling)
        SetValues(ApplyPhantomPreset(Values(), FPreset->currentIndex()));
}

void TPhantomDialog::FieldsChanged()
{
    // Rate and scale are typed only with the preset "Rate / Scale".
    const bool free = FPreset->currentIndex() == 0;
    FRate->setEnabled(free);
    FScale->setEnabled(free);
    FOk->setEnabled(PhantomValuesValid(Values()));
}

} // namespace tessaly::gui
