// The wizard's own artwork: the button glyphs and the picture panel on the
// left of the main window. Everything is painted at run time, so the
// program carries no image files and the pictures follow the screen's
// pixel ratio.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>

namespace corvid {

enum class TWizardGlyph { Back, Next, Finish, Cancel, MoveRight, MoveLeft };

// A 16 x 16 icon for a button. Qt derives the disabled image from it, so one
// picture serves for both states of a speed button.
QIcon WizardGlyph(TWizardGlyph Glyph);

// The sunken picture on the left of the main window: a class, the database
// it is mapped to, and the wizard's steps with the current one marked.
class TWizardPicture : public QWidget {
  Q_OBJECT
 public:
  explicit TWizardPicture(QStringList Steps, QWidget* Parent = nullptr);

  int CurrentStep() const { return current_; }
  void SetCurrentStep(int Step);

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  QStringList steps_;
  int current_ = 0;
};

}  // namespace corvid
