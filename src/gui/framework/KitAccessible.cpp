#include "gui/framework/KitAccessible.h"

#include <QString>

#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/framework/ControlWidget.h"

namespace framework {

namespace {

using Kind = AccessibleFacts::Kind;

bool Blank(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

QAccessibleInterface* KitFactory(const QString&, QObject* object)
{
    auto* widget = dynamic_cast<ControlWidget*>(object);
    return widget && widget->Owner() ? new KitAccessible(widget) : nullptr;
}

} // namespace

KitAccessible::KitAccessible(ControlWidget* widget) : QAccessibleWidget(widget) {}

Control* KitAccessible::Owner() const
{
    const auto* widget = static_cast<const ControlWidget*>(object());
    return widget ? widget->Owner() : nullptr;
}

QAccessible::Role KitAccessible::role() const
{
    Control* control = Owner();
    switch (control ? control->Facts().kind : Kind::Other) {
    case Kind::Button:
        return QAccessible::Button;
    case Kind::CheckBox:
        return QAccessible::CheckBox;
    case Kind::Field:
        return QAccessible::SpinBox;
    case Kind::Other:
        break;
    }
    return QAccessible::Client;
}

QString KitAccessible::text(QAccessible::Text t) const
{
    Control* control = Owner();
    if (!control)
        return {};
    switch (t) {
    case QAccessible::Name: {
        const std::string& name = !control->AccessibleName().empty() ? control->AccessibleName()
            : !Blank(control->Caption())                             ? control->Caption()
                                                                     : control->Hint();
        return QString::fromStdString(name);
    }
    case QAccessible::Description:
        return QString::fromStdString(control->Hint());
    case QAccessible::Value: {
        const AccessibleFacts facts = control->Facts();
        return facts.kind == Kind::Field ? QString::number(facts.value) : QString();
    }
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State KitAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    Control* control = Owner();
    if (!control) {
        state.invisible = true;
        return state;
    }
    const AccessibleFacts facts = control->Facts();
    if (facts.kind == Kind::CheckBox) {
        state.checkable = true;
        state.checked = facts.checked;
    }
    return state;
}

void* KitAccessible::interface_cast(QAccessible::InterfaceType type)
{
    Control* control = Owner();
    if (type == QAccessible::ValueInterface && control && control->Facts().kind == Kind::Field)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QStringList KitAccessible::actionNames() const
{
    QStringList names = QAccessibleWidget::actionNames();
    Control* control = Owner();
    if (!control || !control->Enabled())
        return names;
    const Kind kind = control->Facts().kind;
    if (kind == Kind::Button)
        names.prepend(pressAction());
    else if (kind == Kind::CheckBox)
        names.prepend(toggleAction());
    return names;
}

void KitAccessible::doAction(const QString& actionName)
{
    Control* control = Owner();
    if (control && control->Enabled() && (actionName == pressAction() || actionName == toggleAction())) {
        // The same click a mouse gives: a check box toggles, a button runs its command.
        Guarded([control] { control->Click(); });
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QVariant KitAccessible::currentValue() const
{
    Control* control = Owner();
    return control ? QVariant(control->Facts().value) : QVariant();
}

void KitAccessible::setCurrentValue(const QVariant& value)
{
    Control* control = Owner();
    if (!control || !control->Enabled())
        return;
    bool ok = false;
    const int number = value.toInt(&ok);
    if (ok)
        Guarded([control, number] { control->SetFactsValue(number); });
}

QVariant KitAccessible::maximumValue() const
{
    Control* control = Owner();
    return control ? QVariant(control->Facts().maximum) : QVariant();
}

QVariant KitAccessible::minimumValue() const
{
    Control* control = Owner();
    return control ? QVariant(control->Facts().minimum) : QVariant();
}

QVariant KitAccessible::minimumStepSize() const
{
    return 1;
}

void InstallKitAccessibility()
{
    QAccessible::installFactory(KitFactory);
}

} // namespace framework
