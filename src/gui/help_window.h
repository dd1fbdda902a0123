// THelpWindow: the shipped HTML manual in a browser window of the program (no system
// browser is needed), opened at a help topic's page; TAboutDlg: the About window with
// the program's version.
#pragma once

#include <QDialog>
#include <QWidget>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace tessaly::gui {

// The program's version ("0.1"), set by the build.
const char *ProgramVersion();

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget *parent = nullptr);
    // Shows the page of `topic` (see shell/help_topics.h) and brings the window up.
    void ShowTopic(int topic);
    QTextBrowser &Browser() const { return *FBrowser; }

private:
    QTextBrowser *FBrowser = nullptr;
};

// Opens the page of `topic` in a new help window over `owner` (closed and deleted with
// it), for the help buttons of dialogs.
THelpWindow *ShowHelpTopic(int topic, QWidget *owner);
// A "Help" button (object name BtnHelp) that opens the page of `topic` over `owner`.
QPushButton *NewHelpButton(int topic, QWidget *owner);

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget *parent = nullptr);
    QLabel &VersionLabel() const { return *FVersion; }

private:
    QLabel *FVersion = nullptr;
};

} // namespace tessaly::gui
