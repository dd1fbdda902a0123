// ApplyLanguage: translation of captions and hints by object name.
#include "gui/language_apply.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVariant>
#include <QWidget>

#include "gui/qt_text.h"
#include "shell/language.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {

// The text for `key`: translated, else the program's English text of the key, else the
// original text kept in the object's property `store` (the text it had before the first
// translation).
QString TextFor(QObject &object, const QString &key, const char *store, const QString &current)
{
    QVariant original = object.property(store);
    if (!original.isValid()) {
        object.setProperty(store, current);
        original = current;
    }
    std::string text;
    if (Translate(S(key), text))
        return Q(text);
    const std::string english = DefaultText(S(key));
    return english.empty() ? original.toString() : Q(english);
}

// The tab widget holding `page` as one of its pages, with the page's index.
QTabWidget *TabOf(QWidget &page, int &index)
{
    auto *stack = qobject_cast<QStackedWidget *>(page.parentWidget());
    auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
    index = tabs ? tabs->indexOf(&page) : -1;
    return index >= 0 ? tabs : nullptr;
}

void ApplyCaption(QObject &object, const QString &key)
{
    if (auto *action = qobject_cast<QAction *>(&object)) {
        action->setText(TextFor(object, key, "tsyCaption", action->text()));
    } else if (auto *menu = qobject_cast<QMenu *>(&object)) {
        menu->setTitle(TextFor(object, key, "tsyCaption", menu->title()));
    } else if (auto *button = qobject_cast<QAbstractButton *>(&object)) {
        button->setText(TextFor(object, key, "tsyCaption", button->text()));
    } else if (auto *label = qobject_cast<QLabel *>(&object)) {
        label->setText(TextFor(object, key, "tsyCaption", label->text()));
    } else if (auto *group = qobject_cast<QGroupBox *>(&object)) {
        group->setTitle(TextFor(object, key, "tsyCaption", group->title()));
    } else if (auto *widget = qobject_cast<QWidget *>(&object)) {
        int index = -1;
        if (QTabWidget *tabs = TabOf(*widget, index))
            tabs->setTabText(index, TextFor(object, key, "tsyCaption", tabs->tabText(index)));
    }
}

void ApplyHint(QObject &object, const QString &key)
{
    if (auto *action = qobject_cast<QAction *>(&object)) {
        QString hint = TextFor(object, key, "tsyHint", action->statusTip());
        action->setStatusTip(hint);
        action->setToolTip(hint.isEmpty() ? action->text().remove(QLatin1Char('&')) : hint);
    } else if (auto *widget = qobject_cast<QWidget *>(&object)) {
        widget->setToolTip(TextFor(object, key, "tsyHint", widget->toolTip()));
    }
}

} // namespace

bool ApplyLanguage(QWidget &window)
{
    // Without a language the program's English texts (hints, captions) still apply.
    const bool translated = !CurrentLanguage().empty();
    const QString name = window.objectName();
    if (name.isEmpty())
        return translated;
    window.setWindowTitle(TextFor(window, name + QLatin1String(".Caption"), "tsyCaption", window.windowTitle()));
    ApplyHint(window, name + QLatin1String(".Hint"));
    const QList<QObject *> children = window.findChildren<QObject *>();
    for (QObject *child : children) {
        // Labels without a name of their own and Qt's inner widgets are left alone.
        const QString component = child->objectName();
        if (component.isEmpty() || component.startsWith(QLatin1String("qt_")))
            continue;
        const QString prefix = name + QLatin1Char('.') + component + QLatin1Char('.');
        ApplyCaption(*child, prefix + QLatin1String("Caption"));
        ApplyHint(*child, prefix + QLatin1String("Hint"));
    }
    return translated;
}

} // namespace tessaly::gui
