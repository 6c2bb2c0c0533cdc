#include <gtest/gtest.h>

#include <map>
#include <set>

#include "FakePresenter.h"
#include "TempFolder.h"
#include "assistant/Tips.h"
#include "assistant/Tours.h"
#include "platform/Prompt.h"

namespace ixoral {
namespace {

using test::TFakePresenter;

// A main window of 1000 x 600 at (100, 50) whose controls and menus are all 100 x 20 at places
// told apart by their names; it records what the tours make it do.
class TFakeMainHost : public IMainTourHost {
 public:
  TScreenRect WindowRect() const override { return {100, 50, 1000, 600}; }
  std::optional<TScreenRect> ControlRect(const std::string& name) const override {
    auto it = Controls.find(name);
    if (it == Controls.end()) return std::nullopt;
    return it->second;
  }
  std::optional<TScreenRect> MenuTitleRect(const std::string&) const override { return TScreenRect{200, 50, 60, 20}; }
  std::optional<TScreenRect> MenuItemRect(const std::string&, const std::string&) const override {
    return TScreenRect{200, 100, 160, 20};
  }
  std::optional<TScreenRect> DialogItemRect(const std::string&, TTour) const override {
    return TScreenRect{200, 140, 160, 20};
  }
  void MovePointer(int x, int y) override { Log.push_back("pointer " + std::to_string(x) + "," + std::to_string(y)); }
  void OpenMenu(const std::string& menu) override { Log.push_back("open " + menu); }
  void CloseMenu() override { Log.push_back("close"); }
  void InsertSample(TTourSample sample) override {
    Log.push_back(sample == TTourSample::Torus ? "insert torus" : "insert pierced cube");
  }
  void OpenDialog(TTour tour) override { Log.push_back("dialog " + std::to_string(static_cast<int>(tour))); }

  std::map<std::string, TScreenRect> Controls{{"PropertiesSection", {900, 300, 200, 300}},
                                              {"ExplorerSection", {900, 60, 200, 200}},
                                              {"ToolBar", {100, 70, 800, 30}},
                                              {"ScenePanel", {100, 100, 800, 500}}};
  std::vector<std::string> Log;
};

class TFakeDialogHost : public IDialogTourHost {
 public:
  TScreenRect DialogRect() const override { return {300, 200, 400, 300}; }
  std::optional<TScreenRect> ControlRect(const std::string& name) const override {
    if (Missing.count(name)) return std::nullopt;
    return TScreenRect{400, 300, 100, 20};
  }
  void PressButton(const std::string& name) override { Log.push_back("press " + name); }
  void TypeText(const std::string& control, const std::string& text) override {
    Log.push_back("type " + control + " " + text);
  }
  std::set<std::string> Missing;
  std::vector<std::string> Log;
};

struct PresentationFixture : ::testing::Test {
  TFakePresenter Presenter;
  TScriptedPrompt Prompt;
  TFakeMainHost Host;
  TAssistant Assistant{Presenter, Prompt, "/nonexistent/IXORAL.TP", ""};
  int TimerStarts = 0;
  int TimerStops = 0;
  PresentationFixture() {
    Assistant.StartPresentationTimer = [this] { ++TimerStarts; };
    Assistant.StopPresentationTimer = [this] { ++TimerStops; };
  }
  // Runs ticks until the tour has nothing more to do, and returns what was said.
  std::vector<std::string> RunTour(const std::string& letter, int ticks) {
    Presenter.Spoken.clear();
    Assistant.OnCommand(letter);
    for (int k = 1; k < ticks; ++k) Assistant.PresentationTick();
    return Presenter.Spoken;
  }
};

TEST(TourCommands, TwelveLettersEachSelectingItsTour) {
  const auto& commands = TourCommands();
  std::set<int> tours;
  for (size_t k = 0; k < commands.size(); ++k) {
    EXPECT_EQ(commands[k].Name, std::string(1, static_cast<char>('A' + k)));
    EXPECT_EQ(TourOfCommand(commands[k].Name), commands[k].Tour);
    tours.insert(static_cast<int>(commands[k].Tour));
  }
  EXPECT_EQ(tours.size(), 12u);
  EXPECT_EQ(tours.count(0), 0u);  // the welcome has no command
  EXPECT_EQ(TourOfCommand("L"), TTour::Printing);
  EXPECT_EQ(TourOfCommand("K"), TTour::Light);
  EXPECT_EQ(TourOfCommand("Afficher"), TTour::Quick);  // the first letter decides
  EXPECT_FALSE(TourOfCommand("Z"));
  EXPECT_FALSE(TourOfCommand(""));
}

TEST_F(PresentationFixture, StartShowsTheTwelveCommandsAndWelcomesOnceShown) {
  Assistant.StartPresentations(Host);
  EXPECT_EQ(TimerStarts, 1);
  EXPECT_EQ(Presenter.LoadedId, kCharacterId);
  ASSERT_EQ(Presenter.Commands.size(), 12u);
  EXPECT_EQ(Presenter.Commands.front(), "A=Présentation rapide");
  EXPECT_EQ(Presenter.Commands.back(), "L=Présentation de l'impression");
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::Presentations);
  // Nothing is said before the character is on the screen.
  EXPECT_TRUE(Presenter.Spoken.empty());
  Assistant.OnShown();
  EXPECT_EQ(Presenter.Played, std::vector<std::string>{"Explain"});
  EXPECT_EQ(Presenter.Spoken,
            (std::vector<std::string>{
                "Bienvenue, je vais vous permettre de faire un rapide tour des fonctionnalités d'Ixoral",
                "Pour cela, faites un clic droit sur moi et selectionnez le type de présentation que vous désirez"}));
  // Later ticks of the finished welcome say nothing.
  Assistant.PresentationTick();
  Assistant.PresentationTick();
  EXPECT_EQ(Presenter.Spoken.size(), 2u);
  // Starting presentations again while they run.
  Assistant.StartPresentations(Host);
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgAgentLoaded});
}

TEST_F(PresentationFixture, ToolTourInsertsTheSampleThroughTheMenusAndOpensTheDialog) {
  Assistant.StartPresentations(Host);
  Assistant.OnShown();
  const std::vector<std::string> said = RunTour("B", 8);
  EXPECT_EQ(said, (std::vector<std::string>{
                      "Présentation de la Torsion", "Il faut tout d'abord insérer un objet dans la scène",
                      "Par le menu Outils, puis Inserer, et enfin cliquer sur l'objet à inserer",
                      "Une fois l'objet inseré il faut appeler la boîte torsion dans le menu outils",
                      "en selectionnant la commande appliquer une torsion"}));
  EXPECT_EQ(Host.Log, (std::vector<std::string>{"pointer 230,60", "open mnuOutils", "pointer 280,110",
                                                "insert pierced cube", "open mnuOutils", "close", "dialog 4"}));
  // The envelope tour inserts a torus.
  Host.Log.clear();
  RunTour("G", 6);
  EXPECT_EQ(Host.Log[3], "insert torus");
  EXPECT_EQ(Host.Log.back(), "dialog 9");
  // A dialog tour points at its dialog's own item in the menu, then opens the dialog.
  Host.Log.clear();
  RunTour("F", 6);
  EXPECT_EQ(Host.Log, (std::vector<std::string>{"pointer 230,60", "open mnuAffichage", "pointer 280,150", "close",
                                                "dialog " + std::to_string(int(TTour::Options))}));
}

TEST_F(PresentationFixture, EveryTourSpeaksInOrderAndChoosingAnotherRestartsAtItsFirstStep) {
  Assistant.StartPresentations(Host);
  Assistant.OnShown();
  const std::map<std::string, std::vector<std::string>> firstAndLast{
      {"A",
       {"Présentation Rapide",
        "Voila, c'est la fin de la présentation rapide, sélectionnez une autre visite pour plus de précisions"}},
      {"C", {"Présentation de l'appliquage de bruit", "en selectionnant la commande Appliquer du Bruit"}},
      {"D", {"Présentation de l'éditeur de texte", "Par le menu Outils, puis Editeur de courbe paramétrique"}},
      {"E",
       {"Présentation de l'éditeur de courbes parametriques",
        "Par le menu Outils, puis Editeur de courbes paramétriques"}},
      {"F", {"Présentation des Options", "Par le menu Affichage, puis Options"}},
      {"H",
       {"Présentation de la Modification de l'enveloppe en mode point",
        "en sélectionnant la commande qui porte ce nom"}},
      {"I", {"Présentation du texturage", "en selectionnant la commande qui porte ce nom"}},
      {"J", {"Présentation des paramètres de vues", "Par le menu Affichage, puis paramètres des vues"}},
      {"K", {"Présentation de l'insertion de lumiere", "Par le menu Outils, puis Ajouter une lumiere"}},
      {"L", {"Présentation de l'impression", "Par le menu Fichier, puis Imprimer"}},
  };
  for (const auto& [letter, ends] : firstAndLast) {
    const std::vector<std::string> said = RunTour(letter, 12);
    ASSERT_FALSE(said.empty()) << letter;
    EXPECT_EQ(said.front(), ends[0]) << letter;
    EXPECT_EQ(said.back(), ends[1]) << letter;
  }
  // The quick tour points at each part of the window before describing it.
  const auto quick = RunTour("A", 10);
  EXPECT_EQ(quick.size(), 8u);
  ASSERT_EQ(Presenter.Gestures.size() >= 4, true);
  const auto g = Presenter.Gestures.end() - 4;
  EXPECT_EQ(g[0], std::make_pair(1000, 450));  // properties
  EXPECT_EQ(g[1], std::make_pair(1000, 160));  // explorer
  EXPECT_EQ(g[3], std::make_pair(500, 350));   // scene
  // The character stands left of the control, vertically centred (it is 100 x 150).
  EXPECT_EQ(Presenter.Moves[Presenter.Moves.size() - 4], std::make_pair(800, 375));

  // A tour chosen in the middle of another starts at its first sentence; the other is silenced.
  Presenter.Spoken.clear();
  Assistant.OnCommand("C");
  Assistant.PresentationTick();
  Assistant.PresentationTick();
  Presenter.Calls.clear();
  Assistant.OnCommand("F");
  EXPECT_EQ(Presenter.Calls.front(), "stop");
  EXPECT_EQ(Presenter.Spoken.back(), "Présentation des Options");
  EXPECT_EQ(Assistant.Presentation()->Step(), 1);
  EXPECT_EQ(Assistant.Presentation()->Tour(), TTour::Options);
}

TEST_F(PresentationFixture, UnreadableCharacterIsReportedAndNothingStarts) {
  Presenter.Error = "Le personnage est illisible";
  Assistant.StartPresentations(Host);
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{"Le personnage est illisible"});
  EXPECT_EQ(TimerStarts, 1);
  EXPECT_EQ(TimerStops, 1);
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::None);
  EXPECT_TRUE(Presenter.Calls.empty());
}

TEST_F(PresentationFixture, HiddenCharacterStopsEveryStepAndModesSwitchBothWays) {
  Assistant.StartPresentations(Host);
  Assistant.OnShown();
  Assistant.OnHidden();
  Presenter.Spoken.clear();
  Host.Log.clear();
  Assistant.PresentationTick();
  Assistant.OnCommand("B");
  EXPECT_TRUE(Presenter.Spoken.empty());
  EXPECT_TRUE(Host.Log.empty());

  // Presentations, then tips: the tour commands give way to the tip commands and the timer stops.
  test::TTempFolder folder("tours");
  // (The tips of this fixture's assistant are missing, so a second assistant with tips is used.)
  TFakePresenter presenter;
  const std::string tips = folder.File(kTipsFileName);
  {
    std::string record = "Un conseil";
    record.resize(kTipRecordSize, '\0');
    FILE* f = std::fopen(tips.c_str(), "wb");
    std::fwrite(record.data(), 1, record.size(), f);
    std::fclose(f);
  }
  TAssistant assistant(presenter, Prompt, tips, "");
  int stops = 0;
  assistant.StopPresentationTimer = [&] { ++stops; };
  assistant.StartPresentations(Host);
  assistant.OnShown();
  assistant.StartTips();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(assistant.Mode(), TAssistantMode::Tips);
  EXPECT_EQ(presenter.Commands, (std::vector<std::string>{"Z=Conseil Suivant", "Y=Conseil Précedent"}));
  EXPECT_EQ(presenter.Spoken.back(), "Un conseil");
  // A tour letter means nothing to tips.
  assistant.OnCommand("A");
  EXPECT_EQ(presenter.Spoken.back(), "Un conseil");
  // And back to presentations: the tour commands return and the welcome is said at once.
  presenter.Spoken.clear();
  assistant.StartPresentations(Host);
  EXPECT_EQ(assistant.Mode(), TAssistantMode::Presentations);
  EXPECT_EQ(presenter.Commands.size(), 12u);
  EXPECT_EQ(presenter.Spoken.size(), 2u);
}

TEST(DialogTours, EachToolAndEditorDialogHasItsScriptWithItsInterval) {
  for (TTour tour : {TTour::Printing, TTour::Light, TTour::Torsion, TTour::Noise, TTour::TextEditor, TTour::CurveEditor,
                     TTour::Options, TTour::Envelope, TTour::PointMode, TTour::Texture, TTour::ViewParameters}) {
    const TDialogTourScript* script = DialogTourScript(tour);
    ASSERT_NE(script, nullptr) << static_cast<int>(tour);
    EXPECT_EQ(script->Interval, tour == TTour::PointMode ? kPointModeTourInterval : kDialogTourInterval);
    EXPECT_EQ(script->Steps.front().Control, nullptr);
    EXPECT_EQ(std::string(script->Steps.back().Sentence).rfind("Fin de la présentation", 0), 0u);
  }
  EXPECT_EQ(DialogTourScript(TTour::Welcome), nullptr);
  EXPECT_EQ(DialogTourScript(TTour::Quick), nullptr);
}

TEST(DialogTours, NoiseTourWaitsForSilenceBeforePressingApplyThenOk) {
  TFakePresenter presenter;
  bool visible = true;
  TTourVoice voice(presenter, [&] { return visible; });
  TFakeDialogHost host;
  TDialogTour tour(voice, host, *DialogTourScript(TTour::Noise));
  tour.Tick();
  // The introduction from the dialog's right edge, vertically centred.
  EXPECT_EQ(presenter.Moves.back(), std::make_pair(700, 275));
  for (int k = 0; k < 4; ++k) tour.Tick();
  EXPECT_EQ(presenter.Spoken.back(), "Cliquez sur le bouton appliquer pour afficher la transformation.");
  EXPECT_TRUE(tour.Waiting());
  // Neither the next tick nor a poll before the sentence has been said presses anything.
  tour.Tick();
  EXPECT_FALSE(tour.Poll());
  presenter.SpeakingNow = true;
  EXPECT_FALSE(tour.Poll());
  EXPECT_TRUE(host.Log.empty());
  presenter.SpeakingNow = false;
  EXPECT_TRUE(tour.Poll());
  EXPECT_EQ(host.Log, std::vector<std::string>{"press Appliquer"});
  EXPECT_EQ(tour.Step(), 5);

  tour.Tick();
  EXPECT_EQ(presenter.Spoken.back(), "Cliquez sur le bouton OK pour valider et enregistrer les modifications.");
  presenter.SpeakingNow = true;
  tour.Poll();
  presenter.SpeakingNow = false;
  tour.Poll();
  // "OK" closes the dialog: the closing sentence follows at once and the tour is over.
  EXPECT_EQ(host.Log.back(), "press OK");
  EXPECT_EQ(presenter.Spoken.back(),
            "Fin de la présentation du bruit, vous pouvez maintenant voir une autre présentation.");
  EXPECT_TRUE(tour.Finished());
  EXPECT_EQ(presenter.Spoken.size(), 7u);
}

TEST(DialogTours, CurveTourTypesTheEquationsAndASilentPresenterStillGetsItsPress) {
  TFakePresenter presenter;
  TTourVoice voice(presenter, [] { return true; });
  TFakeDialogHost host;
  host.Missing = {"De"};  // a control the dialog lacks is skipped, its sentence still said
  TDialogTour tour(voice, host, *DialogTourScript(TTour::CurveEditor));
  for (int k = 0; k < 6; ++k) tour.Tick();
  EXPECT_EQ(host.Log, (std::vector<std::string>{"type X 0.5 * t * cos ( 5 * t )", "type Y 0.3 * t",
                                                "type Z 0.5 * t * sin ( 5 * t )"}));
  EXPECT_EQ(presenter.Spoken[4], "Sélectionnez l'intervalle de t.");
  EXPECT_EQ(presenter.Gestures.size(), 4u);
  // The speech never starts (dropped by a stop): the press comes after the allowed polls.
  int polls = 0;
  while (!tour.Poll()) ++polls;
  EXPECT_EQ(polls, TDialogTour::kPollsBeforeSpeech - 1);
  EXPECT_EQ(host.Log.back(), "press Appliquer");
}

TEST(DialogTours, NothingHappensWhileTheCharacterIsHidden) {
  TFakePresenter presenter;
  TTourVoice voice(presenter, [] { return false; });
  TFakeDialogHost host;
  TDialogTour tour(voice, host, *DialogTourScript(TTour::TextEditor));
  for (int k = 0; k < 10; ++k) tour.Tick();
  EXPECT_TRUE(presenter.Calls.empty());
  EXPECT_TRUE(host.Log.empty());
  EXPECT_EQ(tour.Step(), 0);
}

}  // namespace
}  // namespace ixoral
