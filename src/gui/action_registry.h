// TActionRegistry: every command of the main window as one QAction, made from the
// core's command rows (name, keys, menu, flags, enable flag), with the menus built from
// the same rows, one handler per command and the enables applied row by row.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "project/command_rows.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

namespace tessaly::gui {

class TActionRegistry : public QObject {
    Q_OBJECT
public:
    // The actions belong to `window` (their shortcuts act in it).
    explicit TActionRegistry(QWidget *window);

    // Builds the menu bar; the menu entries are the registry's actions.
    void BuildMenus(QMenuBar *bar);
    // The action of a command; the action named `name` (its object name, null when none).
    QAction *Action(TCommandId id) const { return FById[size_t(id)]; }
    QAction *Action(const QString &name) const;
    // Every action, in table order.
    const std::vector<QAction *> &Actions() const { return FOrder; }
    // The menus by object name ("FileMenu", ...), for the language.
    const std::vector<QMenu *> &Menus() const { return FMenus; }
    // Rebuilds the language menu: one radio entry per language, `current` checked.
    void SetLanguages(const std::vector<std::string> &names, const std::string &current);
    QMenu *LanguageMenu() const { return FLanguageMenu; }
    // The marker list's context menu.
    QMenu *MarkerListMenu() const { return FMarkerListMenu; }

    // The handler of a command: it runs when the action triggers and is enabled after
    // `BeforeRun` (the window recomputing its enables: they may be stale when a key
    // arrives). A tick item's handler gets its new state.
    void Handle(TCommandId id, const std::function<void()> &handler);
    void HandleToggle(TCommandId id, const std::function<void(bool)> &handler);
    std::function<void()> BeforeRun;
    // Triggers the command when it is enabled after BeforeRun; true when it ran.
    bool Run(TCommandId id);
    // The commands without a handler (none once the window is built).
    std::vector<TCommandId> Unhandled() const;
    // Enables every action (and sub-menu) by its row's flag.
    void ApplyEnables(const TEnables &e);

signals:
    // A language entry was chosen (its name without accelerator marks).
    void LanguageChosen(const QString &name);

private:
    QWidget *FWindow;
    std::map<QString, QAction *> FByName;
    std::vector<QAction *> FById;
    std::vector<bool> FHandled;
    std::vector<QAction *> FOrder;
    std::vector<QMenu *> FMenus;
    std::map<std::string, QMenu *> FSubMenus;   // sub-menu rows with an enable flag
    QMenu *FLanguageMenu = nullptr;
    QMenu *FMarkerListMenu = nullptr;
    QActionGroup *FLanguageGroup = nullptr;
    QActionGroup *FMarkerSizeGroup = nullptr;
};

} // namespace tessaly::gui
