// A spin edit: an edit with up and down arrows whose text is a whole number, kept as text.
// Typed characters pass the spin edit's own filter (digits, "+", "-", the decimal separator,
// control characters other than Enter; anything else is dropped with a beep) and then its
// OnKeyPress hook, which may drop them too by setting the key to 0.
#pragma once

#include <QAbstractSpinBox>

#include <cstdint>
#include <functional>

namespace hg::forms {

class TSpinEdit final : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    std::int32_t MinValue = 1;
    std::int32_t MaxValue = 100;
    std::int32_t Increment = 1;
    void SetMaxLength(int length);

    QString Text() const { return text(); }
    void SetText(const QString& text);
    // The text as a number; a text that is no integer counts as MinValue.
    std::int32_t Value() const;
    void SetValue(std::int32_t value); // held within the range, written as decimal text

    std::function<void(char32_t& key)> OnKeyPress;

    // The spin edit's own step when the focus leaves it: an integer outside the range becomes
    // the nearer bound; any other text stays as it is.
    void ExitStep();

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    std::int32_t Clamp(std::int64_t value) const;
};

} // namespace hg::forms
