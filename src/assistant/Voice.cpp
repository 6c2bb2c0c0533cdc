#include "assistant/Voice.h"

#include <QLocale>
#include <QThread>
#include <utility>
#include <vector>

#ifdef IXORAL_HAVE_SPEECH
#include <QTextToSpeech>
#endif

#include "platform/SpeechService.h"

namespace ixoral {

#ifdef IXORAL_HAVE_SPEECH
// Qt's name for its speech-dispatcher engine.
constexpr const char* kSpeechDispatcherEngine = "speechd";
#endif

// Lives on the voice's thread: every call into the speech engine happens there.
class TVoiceWorker : public QObject {
  Q_OBJECT
 public:
  ~TVoiceWorker() override {
#ifdef IXORAL_HAVE_SPEECH
    delete FSpeech;
#endif
  }

  void Probe() {
    bool available = false;
#ifdef IXORAL_HAVE_SPEECH
    for (const QString& engine : QTextToSpeech::availableEngines()) {
      // The speech-dispatcher engine is loaded only where its service can be reached: its
      // client library, with no service to talk to, fails only after leaking what it allocated.
      if (engine == QLatin1String(kSpeechDispatcherEngine) && !SpeechDispatcherReachable()) continue;
      FSpeech = new QTextToSpeech(engine);
      for (const QLocale& l : FSpeech->availableLocales())
        if (l.language() == QLocale::French) {
          FSpeech->setLocale(l);
          available = FSpeech->state() != QTextToSpeech::Error;
          break;
        }
      if (available) break;
      delete FSpeech;
      FSpeech = nullptr;
    }
    if (available) {
      connect(FSpeech, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State s) {
        if (s == QTextToSpeech::Speaking) emit Started();
        if (s == QTextToSpeech::Ready || s == QTextToSpeech::Error) emit Finished();
      });
    }
#endif
    emit Probed(available);
  }

  void Say(const QString& text) {
#ifdef IXORAL_HAVE_SPEECH
    if (FSpeech) FSpeech->say(text);
#else
    (void)text;
#endif
  }

  void Stop() {
#ifdef IXORAL_HAVE_SPEECH
    if (FSpeech) FSpeech->stop();
#endif
  }

 signals:
  void Probed(bool available);
  void Started();
  void Finished();

 private:
#ifdef IXORAL_HAVE_SPEECH
  QTextToSpeech* FSpeech = nullptr;
#endif
};

TVoice::TVoice(QObject* parent) : QObject(parent) {
  FThread = new QThread;
  FThread->setObjectName(QStringLiteral("Voix"));
  FWorker = new TVoiceWorker;
  FWorker->moveToThread(FThread);
  connect(FWorker, &TVoiceWorker::Probed, this, [this](bool available) {
    if (FState.load() == TState::Probing) FState = available ? TState::Available : TState::Unavailable;
    emit Probed(State() == TState::Available);
  });
  connect(FWorker, &TVoiceWorker::Started, this, [this] {
    if (State() == TState::Available) emit Started();
  });
  connect(FWorker, &TVoiceWorker::Finished, this, [this] {
    if (State() == TState::Available) emit Finished();
  });
  // The worker and its engine are closed on the voice's thread as it ends.
  connect(FThread, &QThread::finished, FWorker, &QObject::deleteLater);
  FThread->start();
  QMetaObject::invokeMethod(FWorker, &TVoiceWorker::Probe, Qt::QueuedConnection);
}

TVoice::~TVoice() {
  // The worker goes on its own thread (the engine is closed there), then the thread ends. A
  // speech service that no longer answers keeps that thread waiting: it is left behind rather
  // than holding the program's closing, and ends with the process.
  disconnect(FWorker, nullptr, this, nullptr);
  FThread->quit();
  if (FThread->wait(kCloseWaitMs)) {
    delete FThread;
    return;
  }
  // Kept where the process can still find them: the thread and its worker are not lost, only
  // waiting, and end with the process.
  static auto* leftBehind = new std::vector<std::pair<QThread*, TVoiceWorker*>>;
  leftBehind->emplace_back(FThread, FWorker);
}

void TVoice::Say(const QString& text) {
  if (State() != TState::Available) return;
  QMetaObject::invokeMethod(
      FWorker, [w = FWorker, text] { w->Say(text); }, Qt::QueuedConnection);
}

void TVoice::Stop() {
  if (State() != TState::Available) return;
  QMetaObject::invokeMethod(
      FWorker, [w = FWorker] { w->Stop(); }, Qt::QueuedConnection);
}

void TVoice::GiveUp() { FState = TState::Unavailable; }

}  // namespace ixoral

#include "Voice.moc"
