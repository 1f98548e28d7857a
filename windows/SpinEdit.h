#pragma once
// A number field with up/down arrows. Any whole number may be typed; when the field loses
// the focus its number is clamped to the range, and text that is not a whole number gives
// the minimum. (A plain QSpinBox refuses digits past the maximum and, on leaving, puts
// back the previous number for text it cannot take: "0" or an empty field would keep the
// port shown before.)
#include <QSpinBox>

class TSpinEdit : public QSpinBox {
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    // The number the text stands for: clamped to the range; the minimum for text that is
    // not a whole number.
    int Value() const;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    int Clamped(const QString& input) const;
};
