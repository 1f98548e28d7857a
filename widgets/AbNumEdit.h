#pragma once
// The numeric edit: a single-line edit that holds a number. Typed text is checked against
// the rules of its number base as it changes and coloured while it differs from the
// applied value or is invalid; Enter, leaving the field or an arrow-key step applies it.
#include "widgets/_GClass.h"

#include <QLineEdit>
#include <stdexcept>

enum TEditBase { ebBin, ebHex, ebFloat, ebInt };
enum TNumEditState { esNormal, esEditing, esError };
enum TNumEditOption { eoLimitMax, eoLimitMin, eoMultiply };
using TNumEditOptions = TSet<TNumEditOption>;

// A text that passes the character check but is not a number of its kind ("1e", an
// integer beyond 32 bits). Its text names the text and the kind of number expected.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TAbNumEdit : public QLineEdit {
public:
    explicit TAbNumEdit(QWidget* parent = nullptr);

    // The applied value and its derived forms.
    double Value() const { return FValue; }
    void SetValue(double v);
    int ValueAsInt() const { return FValueAsInt; }
    void SetValueAsInt(int v);
    float ValueAsSingle() const { return FValueAsSingle; }
    void SetValueAsSingle(float v);
    QString ValueAsHex() const;
    void SetValueAsHex(const QString& v);
    // Empty until the first value has been applied.
    QString ValueAsBool() const;
    void SetValueAsBool(const QString& v);

    TEditBase EditBase() const { return FEditBase; }
    void SetEditBase(TEditBase v);
    QString FormatStr() const { return FFormatStr; }
    void SetFormatStr(const QString& v);
    double MinValue() const { return FMinValue; }
    void SetMinValue(double v);
    double MaxValue() const { return FMaxValue; }
    void SetMaxValue(double v);
    TNumEditOptions Options() const { return FOptions; }
    void SetOptions(TNumEditOptions v);
    float Increment() const { return FIncrement; }
    void SetIncrement(float v) { FIncrement = v; }
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool v) { FEditorEnabled = v; }
    int DigitsBool() const { return FDigitsBool; }
    void SetDigitsBool(int v) { FDigitsBool = v; }
    int DigitsHex() const { return FDigitsHex; }
    void SetDigitsHex(int v) { FDigitsHex = v; }
    TColor ColorDefault() const { return FColorDefault; }
    void SetColorDefault(TColor v);
    TColor ColorEditing() const { return FColorEditing; }
    void SetColorEditing(TColor v);
    TColor ColorError() const { return FColorError; }
    void SetColorError(TColor v);
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool v) { FAutoSelect = v; }
    // Follow the parent's colour: a change of it becomes ColorDefault.
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool v);

    // The background shown now, and the state that chose it.
    TColor Color() const { return FColor; }
    TNumEditState State() const { return FState; }
    // The value sits at or beyond MaxValue (FLimitUp) or MinValue (FLimitLo).
    bool LimitUp() const { return FLimitUp; }
    bool LimitLo() const { return FLimitLo; }
    // The text of the last applied value.
    QString OldText() const { return FOldText; }

    // End of loading: from here on applied changes raise OnValueChanged.
    void Loaded();

    // Checks the text against its rules and colours it; with Commit a valid text is
    // parsed, limited and applied. False for an empty or invalid text. Throws
    // EConvertError (changing nothing) for a valid text that does not convert.
    bool CheckText(bool Commit);
    // Clamps x to the limits the options switch on, keeping FLimitUp/FLimitLo and
    // raising OnLimit when one of them changes.
    double LimitValue(double x);
    // Stores x (clamped to the base's range), shows it and raises OnValueChanged when
    // the shown text changed.
    void ApplyValue(double x);
    // One arrow-key step up or down.
    virtual void UpClick(QObject* Sender);
    virtual void DownClick(QObject* Sender);

    TNotifyEvent OnValueChanged;
    TNotifyEvent OnLimit;
    // Raised for every key press except a stepping arrow, and after each step.
    TNotifyEvent OnChange;

protected:
    virtual void Beep();

    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void Change();
    bool KeyDown(QKeyEvent* e);
    void KeyPress(QKeyEvent* e);
    bool EditsText(QKeyEvent* e) const;
    void Step(double v);
    void SetState(TNumEditState s);
    void SetBackground(TColor c);
    void ShowInvalid(qsizetype first, qsizetype last);
    void RaiseLimit(bool& flag, bool v);
    QString ValueText() const;

    double FValue = 0;
    int FValueAsInt = 0;
    float FValueAsSingle = 0;
    bool FApplied = false;
    TEditBase FEditBase = ebFloat;
    QString FFormatStr = "#0.#";
    double FMinValue = 0, FMaxValue = 0;
    TNumEditOptions FOptions;
    float FIncrement = 1;
    bool FEditorEnabled = true;
    int FDigitsBool = 0, FDigitsHex = 0;
    TColor FColorDefault = clWindow, FColorEditing = clLime, FColorError = clRed;
    TColor FColor = clWindow;
    bool FAutoSelect = true;
    bool FParentColor = false;
    TNumEditState FState = esNormal;
    QString FOldText = "0";
    bool FFirstDraw = true;
    bool FIgnoreChange = false;
    bool FCreated = false;
    // The field holds its window's focus, also while the window is not active.
    bool FActiveControl = false;
    bool FLimitUp = false, FLimitLo = false;
};
