#include "assistant/Tours.h"

#include <algorithm>

namespace ixoral {

namespace {

constexpr const char* kMenuFile = "mnuFichier";
constexpr const char* kMenuView = "mnuAffichage";
constexpr const char* kMenuTools = "mnuOutils";
constexpr const char* kMenuInsert = "mnuInserer";
constexpr const char* kInsertFirst = "Il faut tout d'abord insérer un objet dans la scène";

const std::array<TTourCommand, 12> kCommands{{
    {"A", "Présentation rapide", TTour::Quick},
    {"B", "Présentation de la torsion", TTour::Torsion},
    {"C", "Présentation du bruit", TTour::Noise},
    {"D", "Présentation de l'éditeur de texte", TTour::TextEditor},
    {"E", "Présentation de l'éditeur de courbe paramétrique", TTour::CurveEditor},
    {"F", "Présentation des Options", TTour::Options},
    {"G", "Présentation de la modification d'enveloppe", TTour::Envelope},
    {"H", "Présentation de la modification en mode point", TTour::PointMode},
    {"I", "Présentation de l'appliquage de texture", TTour::Texture},
    {"J", "Présentation des paramètres de vue", TTour::ViewParameters},
    {"K", "Présentation de la boîte lumière", TTour::Light},
    {"L", "Présentation de l'impression", TTour::Printing},
}};

}  // namespace

const std::array<TTourCommand, 12>& TourCommands() { return kCommands; }

std::optional<TTour> TourOfCommand(const std::string& name) {
  if (name.empty()) return std::nullopt;
  for (const TTourCommand& c : kCommands)
    if (c.Name[0] == name[0]) return c.Tour;
  return std::nullopt;
}

// ---------------------------------------------------------------- the character's moves

void TTourVoice::MoveTo(int x, int y) {
  if (Visible()) FPresenter.MoveTo(x, y, 1);
}

void TTourVoice::PointAt(int x, int y) {
  if (Visible()) FPresenter.GestureAt(x, y);
}

void TTourVoice::Speak(const std::string& text) {
  if (Visible()) FPresenter.Speak(text);
}

void TTourVoice::Play(const std::string& animation) {
  if (Visible()) FPresenter.Play(animation);
}

void TTourVoice::PointAtControl(const TScreenRect& rect) {
  // To the left of the control, vertically centred on it; a control at the screen's left edge
  // has the character over its own left end instead.
  const int left = std::max(0, rect.Left - FPresenter.Width());
  MoveTo(left, rect.CentreY() - FPresenter.Height() / 2);
  PointAt(rect.CentreX(), rect.CentreY());
}

// ---------------------------------------------------------------- the main window's tours

namespace {

// The tours that insert a sample object and open a tool's dialog: their five sentences.
struct TToolTour {
  TTour Tour;
  std::array<const char*, 5> Sentences;
  TTourSample Sample;
};

const std::array<TToolTour, 5> kToolTours{{
    {TTour::Torsion,
     {"Présentation de la Torsion", kInsertFirst,
      "Par le menu Outils, puis Inserer, et enfin cliquer sur l'objet à inserer",
      "Une fois l'objet inseré il faut appeler la boîte torsion dans le menu outils",
      "en selectionnant la commande appliquer une torsion"},
     TTourSample::PiercedCube},
    {TTour::Noise,
     {"Présentation de l'appliquage de bruit", kInsertFirst,
      "Par le menu Outils, puis Inserer, et enfin cliquer sur l'objet à inserer",
      "Une fois l'objet insérer il faut appeler la boîte de Bruit", "en selectionnant la commande Appliquer du Bruit"},
     TTourSample::PiercedCube},
    {TTour::Envelope,
     {"Présentation de la Modification d'enveloppe", kInsertFirst,
      "Par le menu Outils, puis Insérer, et enfin cliquer sur l'objet à insérer",
      "Une fois l'objet inseré il faut appeler la boîte de modification d'enveloppe",
      "en selectionnant la commande qui porte ce nom"},
     TTourSample::Torus},
    {TTour::PointMode,
     {"Présentation de la Modification de l'enveloppe en mode point", kInsertFirst,
      "Par le menu Outils, puis Insérer, et enfin cliquer sur l'objet à inserer",
      "Une fois l'objet inseré il faut appeler la boîte de modification en mode point dans le menu outils",
      "en sélectionnant la commande qui porte ce nom"},
     TTourSample::PiercedCube},
    {TTour::Texture,
     {"Présentation du texturage", kInsertFirst,
      "Par le menu Outils, puis Insérer, et enfin cliquer sur l'objet à inserer",
      "Une fois l'objet inseré il faut appeler la boîte \"Appliquer une texture sur un Objet\"",
      "en selectionnant la commande qui porte ce nom"},
     TTourSample::PiercedCube},
}};

// The tours that open a dialog through a menu: their three sentences and the menu holding the
// dialog's item.
struct TMenuTour {
  TTour Tour;
  std::array<const char*, 3> Sentences;
  const char* Menu;
};

const std::array<TMenuTour, 6> kMenuTours{{
    {TTour::Options,
     {"Présentation des Options", "Il faut tout d'abord ouvrir la boîte d'options",
      "Par le menu Affichage, puis Options"},
     kMenuView},
    {TTour::ViewParameters,
     {"Présentation des paramètres de vues", "Il faut tout d'abord ouvrir la boîte paramètres",
      "Par le menu Affichage, puis paramètres des vues"},
     kMenuView},
    {TTour::CurveEditor,
     {"Présentation de l'éditeur de courbes parametriques",
      "Il faut tout d'abord ouvrir la boîte éditeur de courbes parametriques",
      "Par le menu Outils, puis Editeur de courbes paramétriques"},
     kMenuTools},
    {TTour::TextEditor,
     {"Présentation de l'éditeur de texte", "Il faut tout d'abord ouvrir la boîte éditeur de texte",
      "Par le menu Outils, puis Editeur de courbe paramétrique"},
     kMenuTools},
    {TTour::Printing,
     {"Présentation de l'impression", "Il faut tout d'abord ouvrir la boîte d'impression",
      "Par le menu Fichier, puis Imprimer"},
     kMenuFile},
    {TTour::Light,
     {"Présentation de l'insertion de lumiere", "Il faut tout d'abord ouvrir la boîte lumiere",
      "Par le menu Outils, puis Ajouter une lumiere"},
     kMenuTools},
}};

}  // namespace

void TPresentation::Tick() {
  if (!FVoice.Visible()) return;
  ++FStep;
  if (FTour == TTour::Welcome) {
    if (FStep == 1) {
      FVoice.Play("Explain");
      FVoice.Speak("Bienvenue, je vais vous permettre de faire un rapide tour des fonctionnalités d'Ixoral");
      FVoice.Speak("Pour cela, faites un clic droit sur moi et selectionnez le type de présentation que vous désirez");
    }
    return;
  }
  if (FTour == TTour::Quick) {
    QuickTour();
    return;
  }
  for (const TToolTour& t : kToolTours)
    if (t.Tour == FTour) ToolTour(t.Sentences, t.Sample);
  for (const TMenuTour& t : kMenuTours)
    if (t.Tour == FTour) DialogTour(t.Sentences, t.Menu);
}

void TPresentation::StandAside() {
  // Near the lower right third of the main window, clear of the menus it opens.
  const TScreenRect w = FHost.WindowRect();
  const IAssistantPresenter& p = FVoice.Presenter();
  FVoice.MoveTo(w.Left + w.Width * 2 / 3, w.Top + w.Height * 2 / 3 - p.Height() / 2);
}

void TPresentation::MenuStep(const char* sentence, const char* menu, const char* submenu) {
  // The character steps aside and names the way while the pointer goes to the menu, the menu
  // drops down and the pointer goes on to the item.
  StandAside();
  FVoice.Speak(sentence);
  if (auto r = FHost.MenuTitleRect(menu)) FHost.MovePointer(r->CentreX(), r->CentreY());
  FHost.OpenMenu(menu);
  const auto r = submenu ? FHost.MenuItemRect(menu, submenu) : FHost.DialogItemRect(menu, FTour);
  if (r) FHost.MovePointer(r->CentreX(), r->CentreY());
}

void TPresentation::ToolTour(const std::array<const char*, 5>& sentences, TTourSample sample) {
  if (FStep <= 2) {
    FVoice.Speak(sentences[static_cast<size_t>(FStep - 1)]);
  } else if (FStep == 3) {
    MenuStep(sentences[2], kMenuTools, kMenuInsert);
  } else if (FStep == 4) {
    FHost.InsertSample(sample);
    FVoice.Speak(sentences[3]);
    FHost.OpenMenu(kMenuTools);
  } else if (FStep == 5) {
    FHost.CloseMenu();
    FVoice.Speak(sentences[4]);
  } else if (FStep == 6) {
    FHost.OpenDialog(FTour);
  }
}

void TPresentation::DialogTour(const std::array<const char*, 3>& sentences, const char* menu) {
  if (FStep <= 2) {
    FVoice.Speak(sentences[static_cast<size_t>(FStep - 1)]);
  } else if (FStep == 3) {
    MenuStep(sentences[2], menu, nullptr);
  } else if (FStep == 4) {
    FHost.CloseMenu();
    FHost.OpenDialog(FTour);
  }
}

void TPresentation::QuickTour() {
  auto at = [this](const char* control, const char* sentence) {
    if (auto r = FHost.ControlRect(control)) FVoice.PointAtControl(*r);
    FVoice.Speak(sentence);
  };
  switch (FStep) {
    case 1:
      FVoice.Speak("Présentation Rapide");
      break;
    case 2:
      at("PropertiesSection",
         "Voici les propriétés, elle vous serviront souvent. Elle permettent de modifier les objets et leurs "
         "propriétes facilement");
      break;
    case 3:
      at("ExplorerSection", "Voici l'explorateur de Scène.");
      break;
    case 4:
      FVoice.Speak(
          "Il est lui aussi important car il permet de sélectionner, d'associer des objets entre eux pour leurs "
          "appliquer une action commune.");
      break;
    case 5:
      at("ToolBar", "Voici la barre d'outils, elle regroupe les principales fonctions du logiciel sous forme d'icones");
      break;
    case 6:
      at("ScenePanel", "Voila l'espace principal : la scène. C'est elle qui vous representera, d'une facon graphique");
      break;
    case 7:
      FVoice.Speak(
          "la disposition des objets dans l'espace et les déformations, rotations ... qui leurs sont appliqués");
      break;
    case 8:
      FVoice.Speak(
          "Voila, c'est la fin de la présentation rapide, sélectionnez une autre visite pour plus de précisions");
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- the dialogs' tours

namespace {

constexpr const char* kApply = "Appliquer";
constexpr const char* kOk = "OK";

// The "OK" sentences differ by a letter from one dialog to the next; each is kept as it is said.
constexpr const char* kOkSentence = "Cliquez sur le bouton OK pour valider et enregistrer les modifications.";
constexpr const char* kOkSentenceAlt = "Cliquer sur le bouton OK pour valider et enregistrer les modifications.";

const std::vector<TDialogTourScript>& Scripts() {
  static const std::vector<TDialogTourScript> scripts{
      {TTour::ViewParameters,
       kDialogTourInterval,
       {{"Voici la boîte paramètres, elle vous permet de modifier le type de chaque vue"},
        {"Sélectionnez le type de la vue haut-gauche", "V1"},
        {"Sélectionnez le type de la vue haut-droite", "V2"},
        {"Sélectionnez le type de la vue bas-gauche", "V3"},
        {"Sélectionnez le type de la vue bas-droite", "V4"},
        {"Ceci vous permet de visualiser la scène avec les nouveaux paramètres", "Apercu"},
        {kOkSentence, kOk, nullptr, kOk},
        {"Fin de la présentation des paramètres."}}},
      {TTour::Light,
       kDialogTourInterval,
       {{"Voici la boîte lumiere, elle vous permet d'ajouter une lumière à la scène"},
        {"Sélectionnez le type de lumiere", "Type"},
        {"Sélectionnez la couleur de la lumiere", "Couleur"},
        {"Entrez la direction de la lumiere ( composante X, Y et Z )", "DirectionX"},
        {"Entrez le centre de la lumiere ( composante X, Y et Z )", "CentreX"},
        {"Entrez l'angle éclairé à 100% par la lumiere", "AngleEclaire"},
        {"Entrez l'angle jusqu'où la lumiere eclaire", "AngleOmbre"},
        {"Sélectionnez l'action à faire sur la lumiere grâce à cette mini toolbar", "Translation"},
        {kOkSentenceAlt, kOk, nullptr, kOk},
        {"Fin de la présentation des paramètres."}}},
      {TTour::TextEditor,
       kDialogTourInterval,
       {{"Voici l'éditeur de Texte, il vous permet de créer du texte avec une des polices True Type installées sur "
         "votre ordinateur"},
        {"Sélectionner la police du texte que vous voulez créer", "Polices"},
        {"Sélectionner la couleur du texte 3D", "Couleur"},
        {"Sélectionnez la qualité, c'est à dire la précision du texte 3D", "Precision"},
        {"Entrez le texte ici.", "Texte", "Cool"},
        {"Cliquez sur Appliquer pour voir le resultat.", kApply, nullptr, kApply},
        {kOkSentence, kOk, nullptr, kOk},
        {"Fin de la présentation de l'éditeur de Texte. Vous pouvez maintenant sélectionner une autre "
         "présentation."}}},
      {TTour::Options,
       kDialogTourInterval,
       {{"Voici la boîte d'options, elle vous permet de choisir le mode de DirectX et diverses Options"},
        {"Sélectionnez ici la carte graphique que vous souhaiter utiliser", "CartesDisponibles"},
        {"Sélectionnez le mode de rendu DirectX", "ModeDeRendu"},
        {"Testez si les paramètres que vous avez sélectionné fonctionnent en cliquant sur ce bouton.", "Tester"},
        {"Voici les propriétés de la carte sélectionnée.", "CarteSelectionnee"},
        {"Les différentes cases à cocher permettent de paramétrer le logiciel.", "OpBool"},
        {kOkSentenceAlt, kOk, nullptr, kOk},
        {"Fin de la présentation de la boîte Options."}}},
      {TTour::Texture,
       kDialogTourInterval,
       {{"Voici la boîte \"Appliquer une texture sur un objet\""},
        {"Sélectionnez le lecteur ou se situe la texture à appliquer", "SelectDrive"},
        {"Sélectionnez le repertoire ou se situe la texture à appliquer", "SelectDir"},
        {"Sélectionnez le fichier de la texture à appliquer", "SelectFile"},
        {"Vous pouvez voir l'aperçu de la texture dans cette boîte", "imgApercu"},
        {"Appliquer la texture et visualiser le resultat dans la scène située à droite de la boîte de dialogue",
         kApply},
        {kOkSentence, kOk, nullptr, kOk},
        {"Fin de la présentation de la boîte \"Appliquer une texture sur un objet\"."}}},
      {TTour::Envelope,
       kDialogTourInterval,
       {{"Voici la boîte de modification d'enveloppe, elle vous permet de modifier comme vous le voulez vos objets "
         "grâce à son utilisation simple"},
        {"Sélectionnez un mode de visualisation en Filaire (fil de fer) ou en Solide", "Filaire"},
        {"Sélectionnez grâce à cette barre le facteur du zoom sur l'objet", "Zoom"},
        {"Réglez la vitesse de déplacement des points", "Vitesse"},
        {"Cette barre de défilement verticale permet d'éffectuer des rotations sur l'axe X de l'objet, la barre "
         "horizontale permet de faire des rotations sur Y.",
         "RotationVerticale"},
        {"Voici la scène, c'est elle qui va vous permettre de déplacer simplement des points.", "Apercu"},
        {"Déplacer la souris sur l'objet et quand le point est entouré d'un carré bleu faîtes un clic droit pour le "
         "sélectionner",
         "Apercu"},
        {"Ensuite il ne vous reste plus qu'à déplacer la souris tout en maintenant le bouton gauche enfoncé pour "
         "voir le point se déplacer.",
         "Apercu"},
        // The coordinates are shown once a point is picked; until then the hint on picking stands in.
        {"Vous pouvez entrer avec précision les nouvelles coordonnées du point sélectionné", "X", nullptr, nullptr,
         "NotePoint"},
        {"Vous pouvez aussi entrer ses nouvelles coordonnées de texture", "U", nullptr, nullptr, "NotePoint"},
        {kOkSentenceAlt, kOk, nullptr, kOk},
        {"Fin de la présentation de la modification d'enveloppe, vous pouvez maintenant voir une autre "
         "présentation."}}},
      {TTour::PointMode,
       kPointModeTourInterval,
       {{"Voici la boîte de modification en mode point, elle vous permet de modifier toutes les coordonnées des "
         "points et les coordonnées de texture"},
        {"Modifiez toutes les coordonnées des points (en x, y et z), attention : lorsqu'on modifie un point tous les "
         "triangles de l'objet qui possèdent ce point sont modifiés",
         "Grille"},
        {"Modifie les coordonnées de texture, unique pour chaque point de chaque triangle", "Grille"},
        {"Cette mini barre d'outils vous permet de voir le resultat sous tous ses angles ( par rotations, "
         "translation, redimensionement).",
         "Rotation"},
        {kOkSentenceAlt, kOk, nullptr, kOk},
        {"Fin de la présentation de la modification d'enveloppe en mode point, vous pouvez maintenant voir une "
         "autre présentation."}}},
      {TTour::CurveEditor,
       kDialogTourInterval,
       {{"Voici l'éditeur de courbes parametriques, il vous permettra de créer n'importe quelle courbe à partir de "
         "son équation"},
        {"Entrez ici l'equation X en fonction du temps ( noté t )", "X", "0.5 * t * cos ( 5 * t )"},
        {"Entrez ici l'equation Y en fonction du temps ( noté t )", "Y", "0.3 * t"},
        {"Entrez ici l'equation Z en fonction du temps ( noté t )", "Z", "0.5 * t * sin ( 5 * t )"},
        {"Sélectionnez l'intervalle de t.", "De"},
        {"Cliquer sur Appliquer pour voir le résultat.", kApply, nullptr, kApply},
        {kOkSentenceAlt, kOk, nullptr, kOk},
        {"Fin de la présentation de l'éditeur de courbe paramétrique."}}},
      {TTour::Torsion,
       kDialogTourInterval,
       {{"Voici la boîte de torsion, elle vous permet d'ajouter de superbes effets de torsion à vos objets"},
        {"Sélectionner un mode de visualisation en Filaire (fil de fer) ou en solide", "Filaire"},
        {"Séléctionner le point que vous souhaitez déplacer (le point fixe ou le point tournant, c'est à dire la "
         "base de la rotation)",
         "DeplacerTournant"},
        {"Vous pouvez rentrer très précisement les positions des points (fixe et tournant) dans ces cases", "FixeX"},
        {"Sélectionnez grâce à cette barre le facteur du zoom sur l'objet", "Zoom"},
        {"Régler l'angle de rotation à appliquer sur l'objet grâce à cette barre d'outils", "Angle"},
        {"Régler la vitesse de déplacement des points, il vous suffit ensuite de cliquer sur la scène et de déplacer "
         "la souris en maintenant le bouton gauche enfoncé pour déplacer les points.",
         "Vitesse"},
        {"Cette barre de défilement verticale permet d'effectuer des rotations sur l'axe X de l'objet, la barre "
         "horizontale permet de faire des rotations sur Y.",
         "RotationVerticale"},
        {"Cliquez sur le bouton appliquer pour afficher la transformation.", kApply, nullptr, kApply},
        {kOkSentence, kOk, nullptr, kOk},
        {"Fin de la présentation de la Torsion, vous pouvez maintenant voir une autre présentation."}}},
      {TTour::Noise,
       kDialogTourInterval,
       {{"Voici la boîte de bruit, elle vous permet de deformer vos objets en fonction de l'intervalle de bruit"},
        {"Sélectionnez un mode de visualisation en Filaire (fil de fer) ou en Solide", "Filaire"},
        {"Séléctionnez l'intervalle du Bruit, cet intervalle correspond aux valeurs possibles de déplacement des "
         "points",
         "Min"},
        {"Cette mini barre d'outils vous permet de voir le résultat sous tous ses angles (par rotation, "
         "translation, redimensionement).",
         "Translation"},
        {"Cliquez sur le bouton appliquer pour afficher la transformation.", kApply, nullptr, kApply},
        {kOkSentence, kOk, nullptr, kOk},
        {"Fin de la présentation du bruit, vous pouvez maintenant voir une autre présentation."}}},
      {TTour::Printing,
       kDialogTourInterval,
       {{"Voici la boîte d'impression, elle vous permet d'imprimer le rendu"},
        {"Sélectionnez l'imprimante sur laquelle vous voulez imprimer", "Imprimante"},
        {"Cliquer ici pour afficher les paramètres de l'imprimante selectionnée", "Parametres"},
        {"Sélectionnez la vue que vous voulez imprimer", "Vue"},
        {"Sélectionnez les options que vous voulez. Vous pouvez entrer toutes les dimensions de la sortie papier "
         "que vous voulez",
         "Marge"},
        {"Ceci vous permet de visualiser le resultat et de regler via la souris la taille et la position de la "
         "sortie",
         "Apercu"},
        // Pressing "OK" here would send a page to the printer; the tour points at it and leaves the
        // choice to the user.
        {kOkSentence, kOk},
        {"Fin de la présentation de l'impression."}}},
  };
  return scripts;
}

}  // namespace

const TDialogTourScript* DialogTourScript(TTour tour) {
  for (const TDialogTourScript& s : Scripts())
    if (s.Tour == tour) return &s;
  return nullptr;
}

void TDialogTour::Tick() {
  // A step waiting to press its button holds the tour where it is.
  if (FPress || !FVoice.Visible()) return;
  if (FStep >= static_cast<int>(FScript.Steps.size())) return;
  const TDialogTourStep& step = FScript.Steps[static_cast<size_t>(FStep)];
  ++FStep;
  if (FStep == 1) {
    // The introduction, from the dialog's right edge.
    const TScreenRect d = FHost.DialogRect();
    const IAssistantPresenter& p = FVoice.Presenter();
    FVoice.MoveTo(d.Left + d.Width, d.CentreY() - p.Height() / 2);
  } else if (step.Control) {
    std::optional<TScreenRect> r = FHost.ControlRect(step.Control);
    if (!r && step.StandIn) r = FHost.ControlRect(step.StandIn);
    if (r) FVoice.PointAtControl(*r);
  }
  FVoice.Speak(step.Sentence);
  if (step.Typed && step.Control) FHost.TypeText(step.Control, step.Typed);
  if (step.Press) {
    FPress = step.Press;
    FHeardSpeech = false;
    FPolls = 0;
  }
}

bool TDialogTour::Poll() {
  if (!FPress) return true;
  const IAssistantPresenter& p = FVoice.Presenter();
  if (!FHeardSpeech) {
    if (p.Speaking()) {
      FHeardSpeech = true;
      return false;
    }
    if (++FPolls < kPollsBeforeSpeech) return false;
  } else if (p.Speaking()) {
    return false;
  }
  const char* press = FPress;
  FPress = nullptr;
  const bool closes = std::string(press) == kOk;
  FHost.PressButton(press);
  // "OK" closes the dialog and its timer with it: the closing sentence is said at once.
  if (closes && FStep < static_cast<int>(FScript.Steps.size())) {
    FVoice.Speak(FScript.Steps[static_cast<size_t>(FStep)].Sentence);
    FStep = static_cast<int>(FScript.Steps.size());
  }
  return true;
}

}  // namespace ixoral
