// TPhantomDialog: the phantom clip fields laid out in a form.
#include "gui/phantom_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace tessaly::gui {

namespace {
QSpinBox *NewField(QWidget *parent, const char *name)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(1, 2147483647);
    return box;
}
} // namespace

TPhantomDialog::TPhantomDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TPhantomDlg"));
    setWindowTitle(QStringLiteral("Create phantom video clip"));
    auto *form = new QFormLayout(this);
    FLength = NewField(this, "LengthEdit");
    FRate = NewField(this, "RateEdit");
    FScale = NewField(this, "ScaleEdit");
    auto label = [this](const char *name, const char *text) {
        auto *l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    form->addRow(label("LengthLabel", "Length [frm]:"), FLength);
    form->addRow(label("RateLabel", "Rate:"), FRate);
    form->addRow(label("ScaleLabel", "Scale:"), FScale);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    SetClip(TPhantomClip{});
}

void TPhantomDialog::SetClip(const TPhantomClip &clip)
{
    FLength->setValue(clip.Frames);
    FRate->setValue(clip.Rate);
    FScale->setValue(clip.Scale);
}

TPhantomClip TPhantomDialog::Clip() const
{
    TPhantomClip clip;
    clip.Width = 96;
    clip.Height = 72;
    clip.PixelFormat = 0;
    clip.Frames = FLength->value();
    clip.Rate = FRate->value();
    clip.Scale = FScale->value();
    return clip;
}

} // namespace tessaly::gui
