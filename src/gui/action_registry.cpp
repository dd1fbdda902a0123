// TActionRegistry: the actions and menus of the main window made from the command rows.
#include "gui/action_registry.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "gui/qt_text.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {

QString Caption(const char *name)
{
    return Q(Msg(CommandTextKey(name)));
}

} // namespace

TActionRegistry::TActionRegistry(QWidget *window)
    : QObject(window), FWindow(window), FById(cmCount, nullptr), FHandled(cmCount, false)
{
    FMarkerSizeGroup = new QActionGroup(this);
    FLanguageGroup = new QActionGroup(this);
    for (const TCommandRow &row : CommandRows()) {
        if (row.Flags & cfSubMenu)
            continue;
        auto *action = new QAction(Caption(row.Name), window);
        action->setObjectName(QLatin1String(row.Name));
        QList<QKeySequence> keys;   // the first key is the one the menu shows
        for (const std::string &key : CommandShortcuts(row))
            keys.append(QKeySequence(Q(key)));
        action->setShortcuts(keys);
        action->setCheckable(row.Flags & cfCheck);
        if (row.Flags & cfRadio)
            FMarkerSizeGroup->addAction(action);
        // Every action is part of the window so that its key works without a menu.
        window->addAction(action);
        FByName[action->objectName()] = action;
        FById[size_t(row.Id)] = action;
        FOrder.push_back(action);
    }
}

QAction *TActionRegistry::Action(const QString &name) const
{
    auto it = FByName.find(name);
    return it == FByName.end() ? nullptr : it->second;
}

void TActionRegistry::BuildMenus(QMenuBar *bar)
{
    std::map<std::string, QMenu *> menus;
    for (const char *name : MenuBarNames()) {
        QMenu *menu = bar->addMenu(Caption(name));
        menu->setObjectName(QLatin1String(name));
        menus[name] = menu;
        FMenus.push_back(menu);
    }
    FMarkerListMenu = new QMenu(FWindow);
    FMarkerListMenu->setObjectName(QLatin1String(kMarkerListMenu));
    menus[kMarkerListMenu] = FMarkerListMenu;
    FMenus.push_back(FMarkerListMenu);
    for (const TCommandRow &row : CommandRows()) {
        auto parent = menus.find(row.Menu);
        if (parent == menus.end())
            continue;
        if ((row.Flags & cfSeparator) && !parent->second->isEmpty())
            parent->second->addSeparator();
        if (row.Flags & cfSubMenu) {
            QMenu *sub = parent->second->addMenu(Caption(row.Name));
            sub->setObjectName(QLatin1String(row.Name));
            menus[row.Name] = sub;
            FMenus.push_back(sub);
            if (row.Enable)
                FSubMenus[row.Name] = sub;
            if (sub->objectName() == QLatin1String("MenuOptionsLanguage"))
                FLanguageMenu = sub;
            continue;
        }
        parent->second->addAction(FById[size_t(row.Id)]);
    }
}

void TActionRegistry::Handle(TCommandId id, const std::function<void()> &handler)
{
    HandleToggle(id, [handler](bool) { handler(); });
}

void TActionRegistry::HandleToggle(TCommandId id, const std::function<void(bool)> &handler)
{
    QAction *action = Action(id);
    FHandled[size_t(id)] = true;
    connect(action, &QAction::triggered, this, [this, action, handler](bool on) {
        if (BeforeRun)
            BeforeRun();
        if (action->isEnabled())
            handler(on);
    });
}

bool TActionRegistry::Run(TCommandId id)
{
    if (BeforeRun)
        BeforeRun();
    QAction *action = Action(id);
    if (!action->isEnabled())
        return false;
    action->trigger();
    return true;
}

std::vector<TCommandId> TActionRegistry::Unhandled() const
{
    std::vector<TCommandId> missing;
    for (int id = 0; id < cmCount; ++id)
        if (!FHandled[size_t(id)])
            missing.push_back(TCommandId(id));
    return missing;
}

void TActionRegistry::ApplyEnables(const TEnables &e)
{
    for (const TCommandRow &row : CommandRows()) {
        if (!row.Enable)
            continue;
        if (row.Flags & cfSubMenu) {
            auto sub = FSubMenus.find(row.Name);
            if (sub != FSubMenus.end())
                sub->second->setEnabled(e.*row.Enable);
        } else {
            FById[size_t(row.Id)]->setEnabled(e.*row.Enable);
        }
    }
}

void TActionRegistry::SetLanguages(const std::vector<std::string> &names, const std::string &current)
{
    if (!FLanguageMenu)
        return;
    for (QAction *a : FLanguageGroup->actions()) {
        FLanguageGroup->removeAction(a);
        delete a;
    }
    FLanguageMenu->clear();
    for (size_t i = 0; i < names.size(); ++i) {
        QAction *a = FLanguageMenu->addAction(Q(names[i]));
        a->setObjectName(QStringLiteral("LanguageItem%1").arg(i));
        a->setCheckable(true);
        a->setChecked(names[i] == current);
        FLanguageGroup->addAction(a);
        const QString name = Q(names[i]);
        connect(a, &QAction::triggered, this, [this, name] { emit LanguageChosen(name); });
    }
    FLanguageMenu->menuAction()->setVisible(!names.empty());
}

} // namespace tessaly::gui
