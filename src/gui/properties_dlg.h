// TPropertiesDlg: the modal "Properties" window: what the program knows about the open
// video, audio track and double track, in four groups of label pairs whose values are
// the core's texts, built afresh each time the window is shown.
#pragma once

#include <QDialog>
#include <map>
#include <string>

class QGridLayout;
class QLabel;

namespace tessaly {
class TIOMovieReader;
class TWaveReader;
} // namespace tessaly

namespace tessaly::gui {

class TPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPropertiesDlg(QWidget *parent = nullptr);

    // Fills every value label (a missing or closed source shows "-"); refFps is the
    // reference video's frame rate, -1 when none is shown; forceVfw the preview option.
    void Fill(const TIOMovieReader *video, const TWaveReader *audio, long double refFps,
              const TWaveReader *doubleTrack, bool forceVfw);
    // Fill, then shows the window modally.
    void ShowModal(const TIOMovieReader *video, const TWaveReader *audio, long double refFps,
                   const TWaveReader *doubleTrack, bool forceVfw);
    // The text of the value label named `name` ("LblVidType", ...); empty when unknown.
    QString Value(const char *name) const;

private:
    QLabel *AddPair(QGridLayout *grid, int row, const char *name);

    std::map<std::string, QLabel *> FValues;
};

} // namespace tessaly::gui
