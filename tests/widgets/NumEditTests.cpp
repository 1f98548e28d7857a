// The numeric edit driven by real key events on a shown window: the text checks and their
// colours, applying by Enter and by leaving the field, the arrow-key steps and limits, the
// value forms and the regional settings.
#include "tests/support/GermanNumbers.h"
#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/AbNumEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <clocale>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

// Counts beeps instead of sounding them.
class TTestNumEdit : public TAbNumEdit {
public:
    using TAbNumEdit::TAbNumEdit;
    int Beeps = 0;

protected:
    void Beep() override { ++Beeps; }
};

// The point-decimal, no-thousands-separator numbers the tables are written in.
class TCNumbers {
public:
    TCNumbers() : FSaved(std::setlocale(LC_NUMERIC, nullptr)) { std::setlocale(LC_NUMERIC, "C"); }
    ~TCNumbers() { std::setlocale(LC_NUMERIC, FSaved.c_str()); }

private:
    std::string FSaved;
};

enum TKind { kFloat, kInt, kResistor };

const char* KindName(TKind k) {
    return k == kFloat ? "float edit" : k == kInt ? "integer edit" : "resistor edit";
}

// A resistor field as the configuration window sets it up.
void ConfigureResistor(TAbNumEdit* e) {
    e->SetFormatStr("#0.#");
    e->SetIncrement(1);
    e->SetColorDefault(clWindow);
    e->SetDigitsBool(0);
    e->SetDigitsHex(0);
    e->SetMinValue(1000);
    e->SetMaxValue(20000);
    e->SetOptions({eoLimitMax, eoLimitMin});
    e->SetValue(1000);
}

void Configure(TAbNumEdit* e, TKind kind) {
    switch (kind) {
    case kFloat:
        e->SetFormatStr("#0.###");
        e->SetValue(7);
        break;
    case kInt:
        e->SetEditBase(ebInt);
        e->SetValue(7);
        break;
    case kResistor:
        ConfigureResistor(e);
        break;
    }
}

// A shown, active window holding the edit and a second field to move the focus to.
struct TNumEditForm {
    QWidget Window;
    TTestNumEdit* Edit = new TTestNumEdit(&Window);
    QLineEdit* Next = new QLineEdit(&Window);
    int ValueChanged = 0, Limits = 0, Changes = 0;

    explicit TNumEditForm(const std::function<void(TAbNumEdit*)>& configure) {
        Window.resize(220, 90);
        Edit->setGeometry(10, 10, 90, 24);
        Next->setGeometry(10, 50, 90, 24);
        Edit->OnValueChanged = [this](QObject* Sender) {
            EXPECT_EQ(Sender, Edit);
            ++ValueChanged;
        };
        Edit->OnLimit = [this](QObject* Sender) {
            EXPECT_EQ(Sender, Edit);
            ++Limits;
        };
        Edit->OnChange = [this](QObject*) { ++Changes; };
        configure(Edit);
        Edit->Loaded();
        ShowAndWait(Window);
        Window.activateWindow();
        if (!QTest::qWaitForWindowActive(&Window))
            qFatal("window not active");
        Edit->setFocus();
        Reset();
    }
    explicit TNumEditForm(TKind kind)
        : TNumEditForm([kind](TAbNumEdit* e) { Configure(e, kind); }) {}

    void Reset() {
        ValueChanged = Limits = Changes = 0;
        Edit->Beeps = 0;
    }
    // Replaces the whole text by typing; an empty text is typed as a Backspace.
    void Type(const QString& s) {
        Edit->selectAll();
        if (s.isEmpty())
            QTest::keyClick(Edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(Edit, s);
    }
    // Replaces the whole text at once, through the clipboard and Ctrl+V.
    void Paste(const QString& s) {
        QGuiApplication::clipboard()->setText(s);
        Edit->selectAll();
        QTest::keyClick(Edit, Qt::Key_V, Qt::ControlModifier);
    }
    void Key(Qt::Key key) { QTest::keyClick(Edit, key); }
};

TColor StateColor(TNumEditState s) {
    return s == esNormal ? clWindow : s == esEditing ? clLime : clRed;
}

enum TFinish { fNone, fEnter, fTab };

struct TTypedCase {
    TKind Kind;
    const char* Typed;
    TFinish Finish;
    TNumEditState State;
    const char* Text;
    double Value;
    const char* Selected; // the selection after the check
    int ValueChanged;
    int Beeps;
    const char* Error = nullptr; // the conversion error Enter raises
    bool Pasted = false;         // entered as a whole, not key by key
};

std::ostream& operator<<(std::ostream& os, const TTypedCase& c) {
    static const char* finish[] = {"", " then Enter", " then Tab"};
    return os << '"' << c.Typed << '"' << (c.Pasted ? " pasted" : "") << finish[c.Finish]
              << " in a " << KindName(c.Kind);
}

class NumEditTyping : public ::testing::TestWithParam<TTypedCase> {};

TEST_P(NumEditTyping, StateColourTextValueSelectionAndEvents) {
    const TTypedCase& c = GetParam();
    TCNumbers numbers;
    TNumEditForm form(c.Kind);
    const double before = form.Edit->Value();
    if (c.Pasted)
        form.Paste(c.Typed);
    else
        form.Type(c.Typed);
    if (c.Finish == fTab)
        form.Key(Qt::Key_Tab);
    std::string error;
    if (c.Finish == fEnter) {
        try {
            form.Key(Qt::Key_Return);
        } catch (const EConvertError& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error, c.Error ? c.Error : "");
    TAbNumEdit* e = form.Edit;
    EXPECT_EQ(e->State(), c.State);
    EXPECT_EQ(e->Color(), StateColor(c.State));
    EXPECT_EQ(e->palette().color(QPalette::Base), ColorToQColor(StateColor(c.State)));
    EXPECT_EQ(e->text().toStdString(), c.Text);
    EXPECT_EQ(e->Value(), c.Error ? before : c.Value);
    EXPECT_EQ(e->selectedText().toStdString(), c.Selected);
    EXPECT_EQ(form.ValueChanged, c.ValueChanged);
    EXPECT_EQ(form.Edit->Beeps, c.Beeps);
    if (c.Finish == fTab) {
        EXPECT_EQ(form.Next->hasFocus(), c.State != esError);
    }
}

const double Milli = double(1e-3f), Atto = double(1e-18f);

INSTANTIATE_TEST_SUITE_P(
    Texts, NumEditTyping,
    ::testing::Values(
        // Float edit showing 7 with "#0.###".
        TTypedCase{kFloat, "12x", fNone, esError, "12x", 7, "x", 0, 1},
        TTypedCase{kFloat, "12x", fEnter, esError, "12x", 7, "x", 0, 1},
        TTypedCase{kFloat, "12a", fNone, esEditing, "12a", 7, "", 0, 0},
        TTypedCase{kFloat, "12a", fEnter, esNormal, "0", 12 * Atto, "", 1, 0},
        TTypedCase{kFloat, "2k", fNone, esEditing, "2k", 7, "", 0, 0},
        TTypedCase{kFloat, "2k", fEnter, esNormal, "2000", 2000, "", 1, 0},
        TTypedCase{kFloat, "5m", fEnter, esNormal, "0.005", 5 * Milli, "", 1, 0},
        // The selected invalid character is replaced by the next one typed.
        TTypedCase{kFloat, "1.2.", fNone, esError, "1.2.", 7, ".", 0, 1},
        TTypedCase{kFloat, "1.2.3", fNone, esEditing, "1.23", 7, "", 0, 1},
        TTypedCase{kFloat, "1.2.3", fNone, esError, "1.2.3", 7, ".", 0, 1, nullptr, true},
        TTypedCase{kFloat, "-", fNone, esEditing, "-", 7, "", 0, 0},
        TTypedCase{kFloat, "-", fEnter, esNormal, "0", 0, "", 1, 0},
        // The lone sign is completed to 0 before a bare suffix would stand for 1.
        TTypedCase{kFloat, "-k", fEnter, esNormal, "0", 0, "", 1, 0},
        TTypedCase{kFloat, "+k", fEnter, esNormal, "0", 0, "", 1, 0},
        TTypedCase{kFloat, "k", fEnter, esNormal, "1000", 1000, "", 1, 0},
        TTypedCase{kFloat, "", fNone, esEditing, "", 7, "", 0, 0},
        TTypedCase{kFloat, "", fTab, esNormal, "0", 0, "", 1, 0},
        TTypedCase{kFloat, "$1F", fEnter, esNormal, "31", 31, "", 1, 0},
        TTypedCase{kFloat, "&101", fEnter, esNormal, "5", 5, "", 1, 0},
        TTypedCase{kFloat, "1e", fNone, esEditing, "1e", 7, "", 0, 0},
        // Enter on a text that does not convert: normal background, the value unchanged.
        TTypedCase{kFloat, "1e", fEnter, esNormal, "1e", 7, "", 0, 0,
                   "'1e' is not a valid floating point value"},
        TTypedCase{kFloat, "1e3", fEnter, esNormal, "1000", 1000, "", 1, 0},
        TTypedCase{kFloat, "-2.5e-1", fEnter, esNormal, "-0.25", -0.25, "", 1, 0},
        // Multipliers are single-precision numbers: exa is 999999984306749440.
        TTypedCase{kFloat, "1E", fEnter, esNormal, "999999984306749440", double(1e18f), "", 1, 0},
        TTypedCase{kFloat, "7", fNone, esNormal, "7", 7, "", 0, 0},
        TTypedCase{kFloat, "7.0", fEnter, esNormal, "7", 7, "", 0, 0},
        TTypedCase{kFloat, "2k", fTab, esNormal, "2000", 2000, "", 1, 0},
        TTypedCase{kFloat, "12x", fTab, esError, "12x", 7, "x", 0, 1},
        // Integer edit showing 7.
        TTypedCase{kInt, "12x", fNone, esError, "12x", 7, "x", 0, 1},
        TTypedCase{kInt, "12a", fNone, esError, "12a", 7, "a", 0, 1},
        TTypedCase{kInt, "2k", fEnter, esNormal, "2000", 2000, "", 1, 0},
        TTypedCase{kInt, "5m", fNone, esError, "5m", 7, "m", 0, 1},
        TTypedCase{kInt, "1.2.3", fNone, esError, "1.2.3", 7, ".2.", 0, 1, nullptr, true},
        TTypedCase{kInt, "1.2.3", fEnter, esNormal, "123", 123, "", 1, 2},
        TTypedCase{kInt, "-", fEnter, esNormal, "0", 0, "", 1, 0},
        TTypedCase{kInt, "-k", fEnter, esNormal, "0", 0, "", 1, 0},
        TTypedCase{kInt, "", fTab, esNormal, "0", 0, "", 1, 0},
        TTypedCase{kInt, "$1F", fEnter, esNormal, "31", 31, "", 1, 0},
        TTypedCase{kInt, "&101", fEnter, esNormal, "5", 5, "", 1, 0},
        TTypedCase{kInt, "1e", fNone, esError, "1e", 7, "e", 0, 1},
        TTypedCase{kInt, "!1.5", fEnter, esNormal, "2", 1.5, "", 1, 0},
        TTypedCase{kInt, "-2147483648", fEnter, esNormal, "-2147483647", -2147483647.0, "", 1, 0},
        TTypedCase{kInt, "99999999999", fEnter, esNormal, "99999999999", 7, "", 0, 0,
                   "'99999999999' is not a valid integer value"},
        TTypedCase{kInt, "$1FFFFFFFF", fEnter, esNormal, "$1FFFFFFFF", 7, "", 0, 0,
                   "'$1FFFFFFFF' is not a valid integer value"},
        TTypedCase{kInt, "$1-", fNone, esError, "$1-", 7, "-", 0, 1},
        TTypedCase{kInt, "&102", fNone, esError, "&102", 7, "2", 0, 1},
        // Resistor field showing 1000, limited to 1000 .. 20000.
        TTypedCase{kResistor, "12a", fEnter, esNormal, "1000", 1000, "", 0, 0},
        TTypedCase{kResistor, "-", fEnter, esNormal, "1000", 1000, "", 0, 0},
        TTypedCase{kResistor, "", fTab, esNormal, "1000", 1000, "", 0, 0},
        TTypedCase{kResistor, "2k", fEnter, esNormal, "2000", 2000, "", 1, 0},
        TTypedCase{kResistor, "50k", fEnter, esNormal, "20000", 20000, "", 1, 0},
        TTypedCase{kResistor, "1234.5", fEnter, esNormal, "1234.5", 1234.5, "", 1, 0}));

TEST(NumEdit, StateColoursAreWhatIsDrawn) {
    TCNumbers numbers;
    TNumEditForm form(kFloat);
    const QPoint inside(form.Edit->width() - 6, form.Edit->height() / 2);
    auto shown = [&] { return QColor(Render(form.Edit).pixel(inside)); };
    EXPECT_EQ(shown(), ColorToQColor(clWindow));
    form.Type("12");
    EXPECT_EQ(shown(), ColorToQColor(clLime));
    form.Type("12x");
    EXPECT_EQ(shown(), ColorToQColor(clRed));
    form.Edit->SetColorError(clYellow);
    EXPECT_EQ(shown(), ColorToQColor(clYellow));
    QTest::keyClick(form.Edit, Qt::Key_Backspace); // the selected x
    EXPECT_EQ(form.Edit->text(), "12");
    EXPECT_EQ(form.Edit->State(), esEditing);
    EXPECT_EQ(shown(), ColorToQColor(clLime));
    form.Key(Qt::Key_Return);
    EXPECT_EQ(form.Edit->Value(), 12);
    EXPECT_EQ(shown(), ColorToQColor(clWindow));
}

TEST(NumEdit, ParentColourBecomesTheDefaultColourOnlyWhenFollowed) {
    for (bool follow : {true, false}) {
        TNumEditForm form([follow](TAbNumEdit* e) { e->SetParentColor(follow); });
        QPalette p = form.Window.palette();
        p.setColor(QPalette::Window, QColor(10, 20, 30));
        form.Window.setPalette(p);
        const TColor expected = follow ? RGBColor(10, 20, 30) : clWindow;
        EXPECT_EQ(form.Edit->ColorDefault(), expected) << follow;
        EXPECT_EQ(form.Edit->Color(), expected) << follow;
        EXPECT_EQ(form.Edit->palette().color(QPalette::Base), ColorToQColor(expected)) << follow;
    }
}

TEST(NumEdit, SecondInvalidCharacterDoesNotBeepAgainAndEnterKeepsTheError) {
    TCNumbers numbers;
    TNumEditForm form(kFloat);
    form.Type("1x");
    QTest::keyClick(form.Edit, Qt::Key_End);
    QTest::keyClicks(form.Edit, "y");
    EXPECT_EQ(form.Edit->text(), "1xy");
    EXPECT_EQ(form.Edit->selectedText(), "xy");
    EXPECT_EQ(form.Edit->Beeps, 1);
    form.Key(Qt::Key_Return);
    EXPECT_EQ(form.Edit->State(), esError);
    EXPECT_EQ(form.Edit->Value(), 7);
    EXPECT_EQ(form.ValueChanged, 0);
}

TEST(NumEdit, EscapeRestoresTheAppliedValueOnlyWhileNotNormal) {
    TCNumbers numbers;
    for (const char* typed : {"12", "12x", ""}) {
        TNumEditForm form(kResistor);
        form.Type(typed);
        ASSERT_NE(form.Edit->State(), esNormal) << typed;
        form.Key(Qt::Key_Escape);
        EXPECT_EQ(form.Edit->text(), "1000") << typed;
        EXPECT_EQ(form.Edit->State(), esNormal) << typed;
        EXPECT_EQ(form.Edit->Color(), clWindow) << typed;
        EXPECT_EQ(form.Edit->Value(), 1000) << typed;
        EXPECT_EQ(form.ValueChanged, 0) << typed;
    }
    TNumEditForm form(kResistor);
    form.Edit->setCursorPosition(2);
    form.Key(Qt::Key_Escape);
    EXPECT_EQ(form.Edit->text(), "1000");
    EXPECT_EQ(form.Changes, 1);
}

TEST(NumEdit, EnterAndEscapeStayInTheEditOfADialog) {
    TCNumbers numbers;
    QDialog dialog;
    dialog.resize(200, 80);
    auto* edit = new TTestNumEdit(&dialog);
    ConfigureResistor(edit);
    edit->Loaded();
    ShowAndWait(dialog);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "1500");
    QTest::keyClick(edit, Qt::Key_Escape);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    edit->selectAll();
    QTest::keyClicks(edit, "1500");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(edit->Value(), 1500);
    EXPECT_EQ(dialog.result(), 0);
}

TEST(NumEdit, TypingOnlyChecksAndEveryKeyRaisesOnChange) {
    TCNumbers numbers;
    TNumEditForm form(kResistor);
    form.Type("2500");
    EXPECT_EQ(form.Changes, 4);
    EXPECT_EQ(form.Edit->Value(), 1000);
    EXPECT_EQ(form.Edit->OldText(), "1000");
    EXPECT_EQ(form.ValueChanged, 0);
    EXPECT_EQ(form.Limits, 0);
    form.Key(Qt::Key_Return);
    EXPECT_EQ(form.Changes, 5);
    EXPECT_EQ(form.ValueChanged, 1);
    EXPECT_EQ(form.Limits, 1);
    EXPECT_EQ(form.Edit->ValueAsInt(), 2500);
}

TEST(NumEdit, LeavingWithAnInvalidTextKeepsTheFocusOnTheEdit) {
    TCNumbers numbers;
    TNumEditForm form(kInt);
    form.Type("42x");
    form.Key(Qt::Key_Tab);
    EXPECT_TRUE(form.Edit->hasFocus());
    EXPECT_EQ(form.Edit->selectedText(), "x");
    EXPECT_EQ(form.Edit->State(), esError);
    QTest::keyClick(form.Edit, Qt::Key_Backspace);
    form.Key(Qt::Key_Tab);
    EXPECT_TRUE(form.Next->hasFocus());
    EXPECT_EQ(form.Edit->Value(), 42);
    EXPECT_EQ(form.ValueChanged, 1);
}

TEST(NumEdit, FocusEntrySelectsAllOnlyWithAutoSelect) {
    for (bool autoSelect : {true, false}) {
        TNumEditForm form([autoSelect](TAbNumEdit* e) {
            Configure(e, kResistor);
            e->SetAutoSelect(autoSelect);
        });
        form.Next->setFocus();
        form.Edit->deselect();
        QTest::keyClick(form.Next, Qt::Key_Backtab, Qt::ShiftModifier);
        ASSERT_TRUE(form.Edit->hasFocus());
        EXPECT_EQ(form.Edit->selectedText(), autoSelect ? "1000" : "") << autoSelect;
    }
}

namespace {
// Shows the window, makes it the active one and waits until the field, if any, has the focus.
bool Activate(QWidget& window, QWidget* field = nullptr) {
    ShowAndWait(window);
    window.activateWindow();
    return QTest::qWaitFor(
        [&] { return QApplication::activeWindow() == &window && (!field || field->hasFocus()); });
}
} // namespace

// The focus that comes with a window opening enters the field; the focus given back when
// the window is activated again does not, so what the operator selected stays.
TEST(NumEdit, FocusComingWithTheWindowSelectsAllOnlyWhenTheWindowOpens) {
    QWidget window;
    window.resize(120, 40);
    auto* edit = new TTestNumEdit(&window);
    ConfigureResistor(edit);
    edit->Loaded();
    QWidget other;
    other.resize(50, 50);

    ASSERT_TRUE(Activate(window, edit));
    EXPECT_EQ(edit->selectedText().toStdString(), "1000") << "opened";
    edit->setSelection(1, 2);
    ASSERT_TRUE(Activate(other));
    ASSERT_TRUE(Activate(window, edit));
    EXPECT_EQ(edit->selectedText().toStdString(), "00") << "activated again";

    window.hide();
    edit->deselect();
    ASSERT_TRUE(Activate(other)) << "another window takes over from the closed one";
    ASSERT_TRUE(Activate(window, edit));
    EXPECT_EQ(edit->selectedText().toStdString(), "1000") << "opened again";
}

TEST(NumEdit, AnotherWindowTakingTheFocusAppliesNothing) {
    TCNumbers numbers;
    TNumEditForm form(kResistor);
    form.Type("2k");
    QWidget other;
    other.resize(50, 50);
    ShowAndWait(other);
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(form.Edit->text(), "2k");
    EXPECT_EQ(form.Edit->State(), esEditing);
    EXPECT_EQ(form.Edit->Value(), 1000);
    EXPECT_EQ(form.ValueChanged, 0);
}

// ---------------------------------------------------------------------------
// Values set by code

TEST(NumEdit, SetValue1500TwiceRaisesOnceAndLeavesTheLowerLimit) {
    TNumEditForm form(kResistor);
    ASSERT_TRUE(form.Edit->LimitLo());
    form.Edit->SetValue(1500);
    EXPECT_EQ(form.Edit->text(), "1500");
    EXPECT_EQ(form.ValueChanged, 1);
    EXPECT_EQ(form.Limits, 1);
    EXPECT_FALSE(form.Edit->LimitLo());
    form.Edit->SetValue(1500);
    EXPECT_EQ(form.ValueChanged, 1);
    EXPECT_EQ(form.Limits, 1);
}

TEST(NumEdit, SetValueAboveTheMaximumShowsTheLimitAndUpNoLongerSteps) {
    TNumEditForm form(kResistor);
    int valueAtEvent = 0;
    form.Edit->OnValueChanged = [&](QObject*) {
        ++form.ValueChanged;
        valueAtEvent = form.Edit->ValueAsInt();
    };
    form.Edit->SetValue(25000);
    EXPECT_EQ(form.Edit->text(), "20000");
    EXPECT_EQ(form.Edit->Value(), 20000);
    EXPECT_EQ(valueAtEvent, 20000);
    EXPECT_TRUE(form.Edit->LimitUp());
    EXPECT_EQ(form.Limits, 2); // the lower limit left, the upper one reached
    EXPECT_EQ(form.ValueChanged, 1);

    form.Edit->SetValue(25000);
    EXPECT_EQ(form.Edit->Value(), 20000);
    EXPECT_EQ(form.ValueChanged, 1);
    EXPECT_EQ(form.Limits, 2);

    form.Changes = 0;
    form.Key(Qt::Key_Up);
    EXPECT_EQ(form.Edit->Value(), 20000);
    EXPECT_EQ(form.ValueChanged, 1);
    EXPECT_EQ(form.Changes, 1);
    EXPECT_EQ(form.Edit->Beeps, 0);
    form.Edit->UpClick(form.Edit);
    EXPECT_EQ(form.Edit->Beeps, 1);
    EXPECT_EQ(form.Edit->Value(), 20000);
}

TEST(NumEdit, PictureDecidesWhetherAValueChangeIsRaised) {
    TNumEditForm form([](TAbNumEdit* e) { e->SetValue(1000); });
    ASSERT_EQ(form.Edit->text(), "1000");
    form.Edit->SetValue(1000.04);
    EXPECT_EQ(form.Edit->text(), "1000");
    EXPECT_EQ(form.Edit->Value(), 1000.04);
    EXPECT_EQ(form.ValueChanged, 0);
    form.Edit->SetValue(1000.4);
    EXPECT_EQ(form.Edit->text(), "1000.4");
    EXPECT_EQ(form.Edit->ValueAsInt(), 1000);
    EXPECT_EQ(form.ValueChanged, 1);
    form.Edit->SetValue(1000.04);
    EXPECT_EQ(form.Edit->text(), "1000");
    EXPECT_EQ(form.ValueChanged, 2);
}

TEST(NumEdit, NoEventWhileLoadingAndNoneAtFirstShow) {
    int valueChanged = 0, limits = 0;
    QWidget window;
    auto* edit = new TTestNumEdit(&window);
    edit->OnValueChanged = [&](QObject*) { ++valueChanged; };
    edit->OnLimit = [&](QObject*) { ++limits; };
    ConfigureResistor(edit);
    EXPECT_EQ(edit->text(), "1000");
    EXPECT_TRUE(edit->LimitLo());
    edit->Loaded();
    ShowAndWait(window);
    EXPECT_EQ(valueChanged, 0);
    EXPECT_EQ(limits, 0);
    EXPECT_EQ(edit->ValueAsBool(), "1111101000");
}

TEST(NumEdit, FirstShowAppliesTheTextSoTypingOnlyChecks) {
    TNumEditForm form([](TAbNumEdit*) {});
    EXPECT_EQ(form.Edit->ValueAsBool(), "0");
    form.Type("5");
    EXPECT_EQ(form.Edit->State(), esEditing);
    EXPECT_EQ(form.Edit->Value(), 0);
    EXPECT_EQ(form.ValueChanged, 0);
    TAbNumEdit never;
    EXPECT_EQ(never.ValueAsBool(), "");
}

TEST(NumEdit, SettersReapplyTheTextUnderTheNewSettings) {
    TNumEditForm form([](TAbNumEdit* e) {
        e->SetOptions({eoLimitMax});
        e->SetMaxValue(1000);
        e->SetValue(500);
    });
    form.Edit->SetMaxValue(100);
    EXPECT_EQ(form.Edit->text(), "100");
    EXPECT_TRUE(form.Edit->LimitUp());
    EXPECT_EQ(form.ValueChanged, 1);
    EXPECT_EQ(form.Limits, 1);
    form.Edit->SetOptions({});
    form.Edit->SetValue(1500.25);
    EXPECT_EQ(form.Edit->text(), "1500.2"); // an exact half goes to the even neighbour
    form.Edit->SetFormatStr("#0.00");
    EXPECT_EQ(form.Edit->text(), "1500.25");
    form.Edit->SetFormatStr("#0");
    EXPECT_EQ(form.Edit->text(), "1500");
    EXPECT_EQ(form.Edit->Value(), 1500); // the shown text is what is applied
    form.Edit->SetMinValue(2000);
    EXPECT_EQ(form.Edit->Value(), 1500); // without eoLimitMin the minimum is not applied
}

// ---------------------------------------------------------------------------
// Arrow keys

struct TArrowCase {
    const char* Name;
    TKind Kind;
    double Start;
    Qt::Key Key;
    double Value;
    const char* Text;
    int ValueChanged;
    int Limits;
    bool LimitUp, LimitLo;
};

std::ostream& operator<<(std::ostream& os, const TArrowCase& c) {
    return os << c.Name;
}

class NumEditArrows : public ::testing::TestWithParam<TArrowCase> {};

TEST_P(NumEditArrows, StepOrStayAtTheLimit) {
    const TArrowCase& c = GetParam();
    TNumEditForm form(c.Kind);
    form.Edit->SetValue(c.Start);
    form.Reset();
    form.Key(c.Key);
    EXPECT_EQ(form.Edit->Value(), c.Value);
    EXPECT_EQ(form.Edit->text().toStdString(), c.Text);
    EXPECT_EQ(form.ValueChanged, c.ValueChanged);
    EXPECT_EQ(form.Limits, c.Limits);
    EXPECT_EQ(form.Changes, 1);
    EXPECT_EQ(form.Edit->LimitUp(), c.LimitUp);
    EXPECT_EQ(form.Edit->LimitLo(), c.LimitLo);
    EXPECT_EQ(form.Edit->State(), esNormal);
    EXPECT_EQ(form.Edit->Beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, NumEditArrows,
    ::testing::Values(
        TArrowCase{"down at the minimum", kResistor, 1000, Qt::Key_Down, 1000, "1000", 0, 0, false,
                   true},
        TArrowCase{"up from the minimum", kResistor, 1000, Qt::Key_Up, 1001, "1001", 1, 1, false,
                   false},
        TArrowCase{"down onto the minimum", kResistor, 1001, Qt::Key_Down, 1000, "1000", 1, 1,
                   false, true},
        TArrowCase{"up onto the maximum", kResistor, 19999, Qt::Key_Up, 20000, "20000", 1, 1, true,
                   false},
        TArrowCase{"up past the maximum", kResistor, 19999.5, Qt::Key_Up, 20000, "20000", 1, 1,
                   true, false},
        TArrowCase{"up at the maximum", kResistor, 20000, Qt::Key_Up, 20000, "20000", 0, 0, true,
                   false},
        TArrowCase{"down from the maximum", kResistor, 20000, Qt::Key_Down, 19999, "19999", 1, 1,
                   false, false},
        TArrowCase{"down without limits", kInt, 0, Qt::Key_Down, -1, "-1", 1, 0, false, false},
        TArrowCase{"up from a fraction", kFloat, 2.5, Qt::Key_Up, 3.5, "3.5", 1, 0, false, false}));

TEST(NumEdit, ArrowStepsFromTheAppliedValueNotTheTypedText) {
    TCNumbers numbers;
    TNumEditForm form(kResistor);
    form.Type("1500");
    form.Key(Qt::Key_Up);
    EXPECT_EQ(form.Edit->text(), "1001");
    EXPECT_EQ(form.Edit->State(), esNormal);
    EXPECT_EQ(form.ValueChanged, 1);
    // The step's own text change is not checked, but the next typed one is.
    form.Type("9x");
    EXPECT_EQ(form.Edit->State(), esError);
}

TEST(NumEdit, MultiplyingStepsInAFloatEditOnly) {
    struct Case {
        TEditBase Base;
        double Start;
        Qt::Key Key;
        double Value;
    } cases[] = {
        {ebFloat, 3, Qt::Key_Up, 6},
        {ebFloat, 3, Qt::Key_Down, 1.5},
        {ebFloat, 0, Qt::Key_Up, 2}, // zero cannot be multiplied: it adds
        {ebInt, 3, Qt::Key_Up, 5},
    };
    for (const Case& c : cases) {
        TNumEditForm form([&](TAbNumEdit* e) {
            e->SetEditBase(c.Base);
            e->SetOptions({eoMultiply});
            e->SetIncrement(2);
            e->SetValue(c.Start);
        });
        form.Key(c.Key);
        EXPECT_EQ(form.Edit->Value(), c.Value) << c.Base << " from " << c.Start;
    }
}

TEST(NumEdit, ReadOnlyEditBeepsInsteadOfStepping) {
    TNumEditForm form(kResistor);
    form.Edit->setReadOnly(true);
    form.Key(Qt::Key_Up);
    EXPECT_EQ(form.Edit->Value(), 1000);
    EXPECT_EQ(form.Edit->Beeps, 1);
    EXPECT_EQ(form.Changes, 0);
}

TEST(NumEdit, EditorDisabledRefusesEveryKeyButTheArrows) {
    TCNumbers numbers;
    TNumEditForm form([](TAbNumEdit* e) {
        Configure(e, kResistor);
        e->SetEditorEnabled(false);
    });
    form.Edit->setCursorPosition(4);
    QTest::keyClicks(form.Edit, "5k");
    QTest::keyClick(form.Edit, Qt::Key_Backspace);
    QTest::keyClick(form.Edit, Qt::Key_Home);
    QTest::keyClick(form.Edit, Qt::Key_Delete);
    QTest::keyClick(form.Edit, Qt::Key_V, Qt::ControlModifier);
    form.Key(Qt::Key_Return);
    EXPECT_EQ(form.Edit->text(), "1000");
    EXPECT_EQ(form.Edit->State(), esNormal);
    EXPECT_EQ(form.Edit->Beeps, 6);
    EXPECT_EQ(form.ValueChanged, 0);
    form.Key(Qt::Key_Up);
    form.Key(Qt::Key_Up);
    EXPECT_EQ(form.Edit->text(), "1002");
    EXPECT_EQ(form.ValueChanged, 2);
    form.Key(Qt::Key_Down);
    EXPECT_EQ(form.Edit->Value(), 1001);
}

// ---------------------------------------------------------------------------
// Value forms and bases

TEST(NumEdit, DerivedFormsOfTheAppliedValue) {
    struct Case {
        double Value;
        int DigitsHex, DigitsBool;
        int AsInt;
        const char* Hex;
        const char* Bool;
    } cases[] = {
        {1000.5, 0, 0, 1000, "3E8", "1111101000"},
        {1001.5, 0, 0, 1002, "3EA", "1111101010"},
        {0, 0, 0, 0, "0", "0"},
        {5, 4, 7, 5, "0005", "00000101"},
        {-1, 0, 0, -1, "FFFFFFFF", "11111111111111111111111111111111"},
        {-2, 2, 3, -2, "FFFFFFFE", "1110"},
        {3e9, 0, 0, 2147483647, "7FFFFFFF", "1111111111111111111111111111111"},
        {-3e9, 0, 0, -2147483647, "80000001", "10000000000000000000000000000001"},
    };
    for (const Case& c : cases) {
        TAbNumEdit edit;
        edit.SetDigitsHex(c.DigitsHex);
        edit.SetDigitsBool(c.DigitsBool);
        edit.ApplyValue(c.Value);
        EXPECT_EQ(edit.ValueAsInt(), c.AsInt) << c.Value;
        EXPECT_EQ(edit.ValueAsHex().toStdString(), c.Hex) << c.Value;
        EXPECT_EQ(edit.ValueAsBool().toStdString(), c.Bool) << c.Value;
    }
}

TEST(NumEdit, SinglePrecisionFormKeepsItsRange) {
    TAbNumEdit edit;
    edit.ApplyValue(0.1);
    EXPECT_EQ(edit.ValueAsSingle(), 0.1f);
    edit.ApplyValue(1e39);
    EXPECT_EQ(edit.ValueAsSingle(), std::numeric_limits<float>::max());
    edit.ApplyValue(-1e39);
    EXPECT_EQ(edit.ValueAsSingle(), -std::numeric_limits<float>::infinity());
    edit.ApplyValue(std::numeric_limits<double>::infinity()); // the float base stops at 1.7E308
    EXPECT_EQ(edit.Value(), 1.7e308);
}

TEST(NumEdit, FormSettersApplyWithoutLimits) {
    TCNumbers numbers;
    TNumEditForm form(kResistor);
    form.Edit->SetValueAsInt(42);
    EXPECT_EQ(form.Edit->text(), "42");
    EXPECT_EQ(form.Edit->Value(), 42);
    EXPECT_EQ(form.ValueChanged, 1);
    form.Edit->SetValueAsInt(42);
    EXPECT_EQ(form.ValueChanged, 1);
    form.Edit->SetValueAsSingle(2.5f);
    EXPECT_EQ(form.Edit->text(), "2.5");
    EXPECT_EQ(form.ValueChanged, 2);
    // Hex and binary texts go through the check with commit, and so through the limits.
    form.Edit->SetValueAsHex("1F40");
    EXPECT_EQ(form.Edit->text(), "8000");
    form.Edit->SetValueAsBool("11111010000");
    EXPECT_EQ(form.Edit->text(), "2000");
    form.Edit->SetValueAsHex("1");
    EXPECT_EQ(form.Edit->text(), "1000");
    EXPECT_TRUE(form.Edit->LimitLo());
}

TEST(NumEdit, EditBaseShowsTheValueInItsDigits) {
    TCNumbers numbers;
    TNumEditForm form([](TAbNumEdit* e) { e->SetValue(255); });
    form.Edit->SetEditBase(ebHex);
    EXPECT_EQ(form.Edit->text(), "FF");
    EXPECT_EQ(form.Edit->OldText(), "FF");
    EXPECT_EQ(form.Edit->State(), esNormal);
    EXPECT_EQ(form.ValueChanged, 0);
    form.Type("1f");
    EXPECT_EQ(form.Edit->State(), esEditing);
    form.Key(Qt::Key_Return);
    EXPECT_EQ(form.Edit->Value(), 31);
    EXPECT_EQ(form.Edit->text(), "1F");
    form.Type("1-");
    EXPECT_EQ(form.Edit->selectedText(), "-");
    form.Key(Qt::Key_Escape);
    form.Edit->SetEditBase(ebBin);
    EXPECT_EQ(form.Edit->text(), "11111");
    form.Type("110");
    form.Key(Qt::Key_Return);
    EXPECT_EQ(form.Edit->Value(), 6);
    form.Edit->SetValueAsBool("1001");
    EXPECT_EQ(form.Edit->text(), "1001");
    form.Edit->SetEditBase(ebInt);
    EXPECT_EQ(form.Edit->text(), "9");
    form.Edit->SetEditBase(ebFloat);
    form.Edit->SetValueAsHex("A");
    EXPECT_EQ(form.Edit->text(), "10");
}

// ---------------------------------------------------------------------------
// Regional settings

TEST(NumEdit, DecimalCommaAndThousandsPoint) {
    WithGermanNumbers([] {
        struct Case {
            TKind Kind;
            const char* Typed;
            TNumEditState State;
            const char* Text;
            double Value;
            const char* Selected;
            int SelectionStart;
        } cases[] = {
            {kFloat, "1,5", esNormal, "1,5", 1.5, "", -1},
            {kFloat, "1.234,5", esNormal, "1234,5", 1234.5, "", -1},
            {kFloat, "1.5", esNormal, "15", 15, "", -1},
            {kFloat, "1,2,", esError, "1,2,", 7, ",", 3},
            {kFloat, "2,5k", esNormal, "2500", 2500, "", -1},
            {kInt, "1.000", esNormal, "1000", 1000, "", -1},
            {kInt, "1,", esError, "1,", 7, ",", 1},
            {kResistor, "1234,5", esNormal, "1234,5", 1234.5, "", -1},
        };
        for (const Case& c : cases) {
            TNumEditForm form(c.Kind);
            form.Type(c.Typed);
            if (c.State != esError)
                form.Key(Qt::Key_Return);
            EXPECT_EQ(form.Edit->State(), c.State) << c.Typed;
            EXPECT_EQ(form.Edit->text().toStdString(), c.Text) << c.Typed;
            EXPECT_EQ(form.Edit->Value(), c.Value) << c.Typed;
            EXPECT_EQ(form.Edit->selectedText().toStdString(), c.Selected) << c.Typed;
            EXPECT_EQ(form.Edit->selectionStart(), c.SelectionStart) << c.Typed;
        }
    });
}

} // namespace
