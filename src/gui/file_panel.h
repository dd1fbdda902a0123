// TFilePanel: the four media entries (video, audio, double audio, reference video), each
// with its file name shortened by an ellipsis, an open button, and remove buttons for the
// double track and the reference video.
#pragma once

#include <QGroupBox>
#include <QLabel>

#include "project/project_sources.h"

class QToolButton;

namespace tessaly::gui {

// A label that shortens its text with an ellipsis to its width; double click opens.
class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit TElidedLabel(QWidget *parent = nullptr);
    void SetFullText(const QString &text);
    const QString &FullText() const { return FFull; }
    QSize minimumSizeHint() const override { return QSize(20, QLabel::minimumSizeHint().height()); }

signals:
    void DoubleClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void Elide();
    QString FFull;
};

class TFilePanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TFilePanel(QWidget *parent = nullptr);

    // The shown name of an entry (full text; the label shortens it).
    void SetName(TSourceRole role, const QString &name);
    QString Name(TSourceRole role) const { return FNames[role]->FullText(); }
    TElidedLabel *NameLabel(TSourceRole role) const { return FNames[role]; }
    QToolButton *OpenButton(TSourceRole role) const { return FOpen[role]; }
    QToolButton *RemoveDoubleButton() const { return FRemoveDouble; }
    QToolButton *RemoveRefButton() const { return FRemoveRef; }

signals:
    void OpenRequested(tessaly::TSourceRole role);

private:
    TElidedLabel *FNames[4];
    QToolButton *FOpen[4];
    QToolButton *FRemoveDouble;
    QToolButton *FRemoveRef;
};

} // namespace tessaly::gui
