#pragma once

// What assistive technology (screen readers, magnifiers, test tools) learns about the kit's
// controls: one accessible interface per windowed control, over its input widget.

#include <QAccessibleWidget>

namespace framework {

class Control;
class ControlWidget;

// Name, role, state, value and actions of one windowed control, read from the control when
// asked. A control gone before its widget answers as an empty, invisible widget.
class KitAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit KitAccessible(ControlWidget* widget);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    Control* Owner() const;
};

// Makes Qt build a KitAccessible for every control's widget; installing twice adds nothing.
void InstallKitAccessibility();

} // namespace framework
