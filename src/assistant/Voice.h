// The voice that reads the character's texts aloud: Qt's text-to-speech with a French voice,
// driven from a thread of its own. The desktop's speech service answers each request before the
// caller goes on, and a service that has lost its sound output may never answer; on that thread
// such a wait holds only the voice, never the windows. Every call here returns at once.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>

class QThread;

namespace ixoral {

class TVoiceWorker;

class TVoice : public QObject {
  Q_OBJECT
 public:
  enum class TState { Probing, Available, Unavailable };

  // Starts looking for a speech engine with a French voice.
  explicit TVoice(QObject* parent = nullptr);
  ~TVoice() override;

  TState State() const { return FState.load(); }
  // Reads `text` aloud; Started and Finished follow.
  void Say(const QString& text);
  // Stops the reading under way.
  void Stop();
  // The voice is given up for the rest of the session (it stopped answering): nothing more is
  // asked of it and State() says Unavailable.
  void GiveUp();
  // How long the closing waits for the voice's thread before leaving it behind.
  static constexpr int kCloseWaitMs = 1000;

 signals:
  void Probed(bool available);
  void Started();
  void Finished();

 private:
  QThread* FThread = nullptr;
  TVoiceWorker* FWorker = nullptr;
  std::atomic<TState> FState{TState::Probing};
};

}  // namespace ixoral
