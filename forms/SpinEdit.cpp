#include "SpinEdit.h"

#include "Application.h"
#include "run.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QWheelEvent>

namespace hg::forms {

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    setAccelerated(false);
}

void TSpinEdit::SetMaxLength(int length) { lineEdit()->setMaxLength(length); }

void TSpinEdit::SetText(const QString& text) { lineEdit()->setText(text); }

std::int32_t TSpinEdit::Value() const
{
    return TryStrToInt(ToCp932(text())).value_or(MinValue);
}

std::int32_t TSpinEdit::Clamp(std::int64_t value) const
{
    if (value < MinValue)
        return MinValue;
    if (value > MaxValue)
        return MaxValue;
    return static_cast<std::int32_t>(value);
}

void TSpinEdit::SetValue(std::int32_t value) { SetText(QString::number(Clamp(value))); }

void TSpinEdit::stepBy(int steps)
{
    SetValue(Clamp(std::int64_t(Value()) + std::int64_t(steps) * Increment));
    selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    if (isReadOnly() || !isEnabled())
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}

QValidator::State TSpinEdit::validate(QString&, int&) const
{
    return QValidator::Acceptable; // any text may stand; leaving the field checks it
}

void TSpinEdit::fixup(QString&) const {}

void TSpinEdit::ExitStep()
{
    if (const auto value = TryStrToInt(ToCp932(text()))) {
        if (*value < MinValue || *value > MaxValue)
            SetValue(*value);
    }
}

void TSpinEdit::keyPressEvent(QKeyEvent* event)
{
    // Navigation, arrows, Delete and the like type no character.
    const QString typed = event->text();
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        event->ignore(); // no steps of ten: only Up and Down step
        return;
    }
    if (typed.isEmpty() || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Escape) {
        if (event->key() == Qt::Key_Escape) {
            event->ignore(); // the window's cancel button takes it
            return;
        }
        QAbstractSpinBox::keyPressEvent(event);
        return;
    }
    char32_t key = typed.toUcs4().value(0);
    const char32_t decimal = QLocale().decimalPoint().toUcs4().value(0, U'.');
    const bool valid = (key >= U'0' && key <= U'9') || key == U'+' || key == U'-' || key == decimal ||
                       (key < 32 && key != 13);
    if (!valid) {
        QApplication::beep();
        event->accept();
        return;
    }
    if (OnKeyPress)
        OnKeyPress(key);
    if (key == 0) {
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinEdit::wheelEvent(QWheelEvent* event)
{
    event->ignore(); // only the arrows and the Up and Down keys change the count
}

void TSpinEdit::focusOutEvent(QFocusEvent* event)
{
    // The base class would reformat or revert the text; the window runs the exit steps itself.
    QWidget::focusOutEvent(event);
    lineEdit()->deselect();
}

} // namespace hg::forms
