<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>ChoosePage</name>
    <message>
        <source>Rest the pointer on an effect, or press P, to see it play</source>
        <translation>Survolez un effet avec le pointeur, ou appuyez sur P, pour le voir animé</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Play the ticked effect (P)</source>
        <translation>Lire l’effet coché (P)</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>Aperçu&#xa0;: %1</translation>
    </message>
</context>
<context>
    <name>ClipBar</name>
    <message>
        <source>Where the GIF begins in the clip (minutes:seconds)</source>
        <translation>Où le GIF commence dans le clip (minutes:secondes)</translation>
    </message>
    <message>
        <source>&amp;From</source>
        <translation>&amp;De</translation>
    </message>
    <message>
        <source>Where the GIF ends in the clip (minutes:seconds)</source>
        <translation>Où le GIF se termine dans le clip (minutes:secondes)</translation>
    </message>
    <message>
        <source>&amp;to</source>
        <translation>&amp;à</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> i/s</translation>
    </message>
    <message>
        <source>Frames a second taken from the clip</source>
        <translation>Images par seconde prises dans le clip</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n image</numerusform>
            <numerusform>%n images</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message>
        <source>Please open an animated GIF file</source>
        <translation>Veuillez ouvrir un fichier GIF animé</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Précédent</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>Back to the previous step</source>
        <translation>Revenir à l’étape précédente</translation>
    </message>
    <message>
        <source>Go on to the next step</source>
        <translation>Passer à l’étape suivante</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Enregistrer le GIF dessiné</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>Barre de menus</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Étape</translation>
    </message>
    <message>
        <source>Step 1: Open a GIF file</source>
        <translation>Étape 1&#xa0;: ouvrir un fichier GIF</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>Commandes</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Veuillez patienter…</translation>
    </message>
    <message>
        <source>Stop this work</source>
        <translation>Arrêter ce travail</translation>
    </message>
    <message>
        <source>Step 1: Please open a GIF file</source>
        <translation>Étape 1&#xa0;: veuillez ouvrir un fichier GIF</translation>
    </message>
    <message>
        <source>Step 2: Please select an effect, then click Next</source>
        <translation>Étape 2&#xa0;: veuillez choisir un effet, puis cliquer sur Suivant</translation>
    </message>
    <message>
        <source>Step 3: Click Save to save the GIF file.</source>
        <translation>Étape 3&#xa0;: cliquez sur Enregistrer pour enregistrer le fichier GIF.</translation>
    </message>
    <message>
        <source>&amp;Options ●</source>
        <translation>&amp;Options ●</translation>
    </message>
    <message>
        <source>GIF File (*.gif)</source>
        <translation>Fichier GIF (*.gif)</translation>
    </message>
    <message>
        <source>The file is damaged after frame %1; %2 frames were read.</source>
        <translation>Le fichier est endommagé après l’image %1&#xa0;; %2 images ont été lues.</translation>
    </message>
    <message>
        <source>The GIF file could not be converted.

%1</source>
        <translation>Le fichier GIF n’a pas pu être converti.

%1</translation>
    </message>
    <message>
        <source>The converted GIF cannot be shown.

%1</source>
        <translation>Le GIF converti ne peut pas être affiché.

%1</translation>
    </message>
    <message>
        <source>Animated WebP (*.webp)</source>
        <translation>WebP animé (*.webp)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 existe déjà.
Voulez-vous le remplacer&#xa0;?</translation>
    </message>
    <message>
        <source>The GIF file could not be saved.

%1</source>
        <translation>Le fichier GIF n’a pas pu être enregistré.

%1</translation>
    </message>
    <message>
        <source>The WebP file could not be saved.

%1</source>
        <translation>Le fichier WebP n’a pas pu être enregistré.

%1</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>Updating the previews…</source>
        <translation>Mise à jour des aperçus…</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>Rétablir les valeurs par défaut</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O)</source>
        <translation>Afficher les options d’effet (Alt+O)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Saving the GIF file...</source>
        <translation>Enregistrement du fichier GIF…</translation>
    </message>
    <message>
        <source>Stop the work in progress and open %1?</source>
        <translation>Arrêter le travail en cours et ouvrir %1&#xa0;?</translation>
    </message>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 pixels, %n image, %3 s, %4</numerusform>
            <numerusform>%1 × %2 pixels, %n images, %3 s, %4</numerusform>
        </translation>
    </message>
    <message>
        <source>Saving the WebP file...</source>
        <translation>Enregistrement du fichier WebP…</translation>
    </message>
    <message>
        <source>All supported files (%1)</source>
        <translation>Tous les fichiers pris en charge (%1)</translation>
    </message>
    <message>
        <source>Animated PNG (%1)</source>
        <translation>PNG animé (%1)</translation>
    </message>
    <message>
        <source>Videos (%1)</source>
        <translation>Vidéos (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): 1 option differs from the defaults</source>
        <translation>Afficher les options d’effet (Alt+O)&#xa0;: 1 option diffère de la valeur par défaut</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): %1 options differ from the defaults</source>
        <translation>Afficher les options d’effet (Alt+O)&#xa0;: %1 options diffèrent des valeurs par défaut</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>Ouvrir un GIF, un WebP animé ou un clip vidéo</translation>
    </message>
    <message>
        <source>No web browser could be started. The address of the web site is:
%1</source>
        <translation>Aucun navigateur web n’a pu être lancé. L’adresse du site est :
%1</translation>
    </message>
    <message>
        <source>This file cannot be opened as an animation.

%1</source>
        <translation>Ce fichier ne peut pas être ouvert comme animation.

%1</translation>
    </message>
    <message>
        <source>Making the GIF fit under %1...</source>
        <translation>Réduction du GIF sous %1…</translation>
    </message>
    <message>
        <source>MP4 video (*.mp4)</source>
        <translation>Vidéo MP4 (*.mp4)</translation>
    </message>
    <message>
        <source>WebM video (*.webm)</source>
        <translation>Vidéo WebM (*.webm)</translation>
    </message>
    <message>
        <source>Saving the video file...</source>
        <translation>Enregistrement du fichier vidéo...</translation>
    </message>
    <message>
        <source>The video file could not be saved.

%1</source>
        <translation>Le fichier vidéo n’a pas pu être enregistré.

%1</translation>
    </message>
</context>
<context>
    <name>OpenPage</name>
    <message>
        <source>Click Here to Open Your GIF File</source>
        <translation>Cliquez ici pour ouvrir votre fichier GIF</translation>
    </message>
    <message>
        <source>Quillframe %1 — hand-drawn animations from your GIFs</source>
        <translation>Quillframe %1 — des animations dessinées à la main à partir de vos GIF</translation>
    </message>
    <message>
        <source>or drop a GIF, an animated WebP or a video clip anywhere on this window</source>
        <translation>ou déposez un GIF, un WebP animé ou un clip vidéo n’importe où dans cette fenêtre</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>le dossier %1 n’existe pas</translation>
    </message>
    <message>
        <source>this folder does not accept new files</source>
        <translation>ce dossier n’accepte pas de nouveaux fichiers</translation>
    </message>
    <message>
        <source>you have no permission to write into this folder</source>
        <translation>vous n’avez pas le droit d’écrire dans ce dossier</translation>
    </message>
    <message>
        <source>the disk of this folder is read-only</source>
        <translation>le disque de ce dossier est en lecture seule</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>le disque est plein</translation>
    </message>
    <message>
        <source>the save was stopped</source>
        <translation>l’enregistrement a été interrompu</translation>
    </message>
    <message>
        <source>Cannot check for another running Quillframe window:
%1</source>
        <translation>Impossible de vérifier si une autre fenêtre de Quillframe est ouverte&#xa0;:
%1</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>permission refusée</translation>
    </message>
    <message>
        <source>the lock file cannot be written</source>
        <translation>le fichier de verrou ne peut pas être écrit</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>ce n’est pas un dossier</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>il appartient à un autre utilisateur</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>le dossier ne peut pas être créé</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Enregistrer le GIF dessiné</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>Ouvrir un GIF, un WebP animé ou un clip vidéo</translation>
    </message>
</context>
<context>
    <name>ResultPage</name>
    <message>
        <source>Fit under:</source>
        <translation>Taille max. :</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Originale</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Personnalisée</translation>
    </message>
    <message>
        <source>Use the original size</source>
        <translation>Utiliser la taille d’origine</translation>
    </message>
    <message>
        <source>Convert again without a size limit</source>
        <translation>Convertir à nouveau sans limite de taille</translation>
    </message>
    <message>
        <source>Made to fit under %1.</source>
        <translation>Réduit sous %1.</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>qualité %1</translation>
    </message>
    <message>
        <source>1 frame in %1</source>
        <translation>1 image sur %1</translation>
    </message>
    <message>
        <source>shrunk to %1%</source>
        <translation>réduit à %1 %</translation>
    </message>
    <message>
        <source>Made to fit under %1: %2.</source>
        <translation>Réduit sous %1 : %2.</translation>
    </message>
</context>
<context>
    <name>ViewerControls</name>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play or pause (Space)</source>
        <translation>Lire ou mettre en pause (Espace)</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Image suivante</translation>
    </message>
    <message>
        <source>Show the next frame (Right; Left goes back)</source>
        <translation>Afficher l’image suivante (Droite&#xa0;; Gauche pour revenir)</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Show at the real size, or fitted</source>
        <translation>Afficher en taille réelle, ou ajusté</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>Avant</translation>
    </message>
    <message>
        <source>Hold to see the original (or hold B)</source>
        <translation>Maintenir pour voir l’original (ou maintenir B)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lire</translation>
    </message>
</context>
<context>
    <name>WorkPage</name>
    <message>
        <source>Please wait...</source>
        <translation>Veuillez patienter…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Frame %1 of %2</source>
        <translation>Image %1 sur %2</translation>
    </message>
</context>
<context>
    <name>qf::Switches</name>
    <message>
        <source>Color Sketch</source>
        <translation>Croquis en couleur</translation>
    </message>
    <message>
        <source>Colour instead of grey sketch depth, dots and pencil layer (variant 2)</source>
        <translation>Couleur au lieu de gris pour la profondeur du croquis, les points et la couche crayon (variante 2)</translation>
    </message>
    <message>
        <source>Sharpen</source>
        <translation>Renforcer la netteté</translation>
    </message>
    <message>
        <source>Sharpen the finished picture</source>
        <translation>Renforcer la netteté de l’image finie</translation>
    </message>
    <message>
        <source>Mix similar color</source>
        <translation>Mélanger les couleurs proches</translation>
    </message>
    <message>
        <source>Merge areas of similar colour into flat cartoon colours under the lines</source>
        <translation>Fusionner les zones de couleur proche en aplats de dessin animé sous les traits</translation>
    </message>
    <message>
        <source>Adjust sketch depth</source>
        <translation>Ajuster la profondeur du croquis</translation>
    </message>
    <message>
        <source>Darken or lighten lines and dots to follow the frame&apos;s shading</source>
        <translation>Assombrir ou éclaircir les traits et les points selon l’ombrage de l’image</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>Flou</translation>
    </message>
    <message>
        <source>Soften the finished picture with a 2 x 2 box average (before sharpening)</source>
        <translation>Adoucir l’image finie par une moyenne sur 2 x 2 pixels (avant la netteté)</translation>
    </message>
    <message>
        <source>Still grain</source>
        <translation>Grain immobile</translation>
    </message>
    <message>
        <source>The pencil paper&apos;s grain (variant 2) holds still wherever the picture does not change, instead of changing every three frames</source>
        <translation>Le grain du papier à dessin (variante 2) reste immobile là où l’image ne change pas, au lieu de changer toutes les trois images</translation>
    </message>
    <message>
        <source>Ink</source>
        <translation>Encre</translation>
    </message>
    <message>
        <source>How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest shadows, higher fills more</source>
        <translation>À quel point un ton doit être sombre pour devenir de l’encre pleine&#xa0;: moins ne garde que les contours et les ombres les plus profondes, plus remplit davantage</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>Traits</translation>
    </message>
    <message>
        <source>How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher more detail</source>
        <translation>L’écart de couleur nécessaire pour tracer un contour&#xa0;: moins trace des traits moins nombreux et plus nets, plus montre plus de détails</translation>
    </message>
</context>
<context>
    <name>qf::Variants</name>
    <message>
        <source>Line sketch</source>
        <translation>Croquis au trait</translation>
    </message>
    <message>
        <source>Black pencil lines on white paper</source>
        <translation>Traits de crayon noirs sur papier blanc</translation>
    </message>
    <message>
        <source>Stucki dots</source>
        <translation>Points de Stucki</translation>
    </message>
    <message>
        <source>The sketched frame as black and white dots</source>
        <translation>L’image dessinée en points noirs et blancs</translation>
    </message>
    <message>
        <source>Pencil on paper</source>
        <translation>Crayon sur papier</translation>
    </message>
    <message>
        <source>Pencil lines on a grainy paper texture</source>
        <translation>Traits de crayon sur une texture de papier grenue</translation>
    </message>
    <message>
        <source>Vivid colour</source>
        <translation>Couleurs vives</translation>
    </message>
    <message>
        <source>Bright, saturated colours with sketch lines</source>
        <translation>Couleurs claires et saturées avec des traits de croquis</translation>
    </message>
    <message>
        <source>Vivid colour with dots</source>
        <translation>Couleurs vives avec points</translation>
    </message>
    <message>
        <source>Bright, saturated colours under a layer of dots</source>
        <translation>Couleurs claires et saturées sous une couche de points</translation>
    </message>
    <message>
        <source>Colour sketch</source>
        <translation>Croquis en couleur</translation>
    </message>
    <message>
        <source>Sketch lines over flat cartoon colours (or the frame&apos;s own colours)</source>
        <translation>Traits de croquis sur des aplats de dessin animé (ou les couleurs de l’image)</translation>
    </message>
    <message>
        <source>Colour sketch with dots</source>
        <translation>Croquis en couleur avec points</translation>
    </message>
    <message>
        <source>Sketch lines and dots over flat cartoon colours</source>
        <translation>Traits et points de croquis sur des aplats de dessin animé</translation>
    </message>
    <message>
        <source>Sepia tint</source>
        <translation>Teinte sépia</translation>
    </message>
    <message>
        <source>A warm single-hue tint that keeps the lightness</source>
        <translation>Une teinte chaude unique qui conserve la luminosité</translation>
    </message>
    <message>
        <source>Sepia tint with dots</source>
        <translation>Teinte sépia avec points</translation>
    </message>
    <message>
        <source>A warm single-hue tint under a layer of dots</source>
        <translation>Une teinte chaude unique sous une couche de points</translation>
    </message>
    <message>
        <source>Poster</source>
        <translation>Postérisation</translation>
    </message>
    <message>
        <source>Two levels per colour channel</source>
        <translation>Deux niveaux par canal de couleur</translation>
    </message>
    <message>
        <source>Poster with dots</source>
        <translation>Postérisation avec points</translation>
    </message>
    <message>
        <source>Two levels per colour channel under a layer of dots</source>
        <translation>Deux niveaux par canal de couleur sous une couche de points</translation>
    </message>
    <message>
        <source>High contrast</source>
        <translation>Contraste élevé</translation>
    </message>
    <message>
        <source>Mid-tones stretched to hard light and dark</source>
        <translation>Tons moyens étirés vers un clair et un sombre francs</translation>
    </message>
    <message>
        <source>High contrast with dots</source>
        <translation>Contraste élevé avec points</translation>
    </message>
    <message>
        <source>Hard light and dark under a layer of dots</source>
        <translation>Clair et sombre francs sous une couche de points</translation>
    </message>
    <message>
        <source>Eight greys</source>
        <translation>Huit gris</translation>
    </message>
    <message>
        <source>The sketched frame in eight grey levels</source>
        <translation>L’image dessinée en huit niveaux de gris</translation>
    </message>
    <message>
        <source>Eight greys with dots</source>
        <translation>Huit gris avec points</translation>
    </message>
    <message>
        <source>Eight grey levels under a layer of dots</source>
        <translation>Huit niveaux de gris sous une couche de points</translation>
    </message>
    <message>
        <source>Grey sketch</source>
        <translation>Croquis en gris</translation>
    </message>
    <message>
        <source>The sketched frame in shades of grey</source>
        <translation>L’image dessinée en nuances de gris</translation>
    </message>
    <message>
        <source>Grey sketch with dots</source>
        <translation>Croquis en gris avec points</translation>
    </message>
    <message>
        <source>Shades of grey under a layer of dots</source>
        <translation>Nuances de gris sous une couche de points</translation>
    </message>
</context>
<context>
    <name>qf::shell::UpdateReminder</name>
    <message>
        <source>Do you want to visit our website to check if there is a new version released?</source>
        <translation>Voulez-vous consulter notre site web pour voir si une nouvelle version est sortie&#xa0;?</translation>
    </message>
</context>
</TS>
