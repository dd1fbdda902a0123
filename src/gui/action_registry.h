// TActionRegistry: every command of the main window as one QAction, created once from a
// table (name, caption, shortcut, menu), with the menus built from the same table.
#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <string>
#include <vector>

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
    // The action named `name` (its object name); null when there is none.
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

signals:
    // A language entry was chosen (its name without accelerator marks).
    void LanguageChosen(const QString &name);

private:
    QWidget *FWindow;
    std::map<QString, QAction *> FByName;
    std::vector<QAction *> FOrder;
    std::vector<QMenu *> FMenus;
    QMenu *FLanguageMenu = nullptr;
    QMenu *FMarkerListMenu = nullptr;
    QActionGroup *FLanguageGroup = nullptr;
    QActionGroup *FMarkerSizeGroup = nullptr;
};

} // namespace tessaly::gui
