#pragma once
// Modal message boxes go through MessageBoxService, so that the windows need not know whether a
// person or a test answers them.

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

class MessageBoxService {
public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { Information };
    // Answers, with the values of the classic dialog results.
    enum Answer : int { Ok = 1, Yes = 6, No = 7 };

    virtual ~MessageBoxService() = default;

    // Shows text in a modal box captioned caption and returns the answer. The hook set with
    // setBeforeShow runs first, before the box exists.
    int show(const QString& text, const QString& caption, Buttons buttons, Icon icon) {
        if (beforeShow_)
            beforeShow_();
        return present(text, caption, buttons, icon);
    }

    // Run before every box: a modal box takes the pointer, so the main window ends a knob drag
    // here rather than leave it to a release that the box would take.
    void setBeforeShow(std::function<void()> hook) { beforeShow_ = std::move(hook); }

protected:
    virtual int present(const QString& text, const QString& caption, Buttons buttons,
                        Icon icon) = 0;

private:
    std::function<void()> beforeShow_;
};

// The operator's message boxes (QMessageBox). A box closed without a button press (Escape, the
// close button) answers No when it asks Yes or No, and Ok otherwise.
class QtMessageBoxService : public MessageBoxService {
public:
    explicit QtMessageBoxService(QWidget* parent = nullptr) : parent_(parent) {}

    void setParentWidget(QWidget* parent) { parent_ = parent; }

protected:
    int present(const QString& text, const QString& caption, Buttons buttons, Icon icon) override;

private:
    QWidget* parent_;
};

// Records every box and answers from a queue. When the queue is empty it gives the default
// answer, or, without one, Ok to an Ok box and No to a Yes/No box.
class RecordingMessageBoxService : public MessageBoxService {
public:
    struct Call {
        QString text;
        QString caption;
        Buttons buttons;
        Icon icon;
        int answer;
    };

    void queueAnswer(int answer) { queued_.push_back(answer); }
    void setDefaultAnswer(int answer) { defaultAnswer_ = answer; }
    // Called at the moment a box is shown, before it is answered; lets a test look at the state
    // of the caller while the box is up.
    void setOnShow(std::function<void(const Call&)> onShow) { onShow_ = std::move(onShow); }

    const std::vector<Call>& calls() const { return calls_; }
    void clear() { calls_.clear(); }

protected:
    int present(const QString& text, const QString& caption, Buttons buttons, Icon icon) override;

private:
    std::vector<Call> calls_;
    std::deque<int> queued_;
    std::optional<int> defaultAnswer_;
    std::function<void(const Call&)> onShow_;
};
