<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ChoosePage</name>
    <message>
        <source>Rest the pointer on an effect, or press P, to see it play</source>
        <translation>Zeigen Sie mit der Maus auf einen Effekt oder drücken Sie P, um ihn abzuspielen</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Play the ticked effect (P)</source>
        <translation>Den angekreuzten Effekt abspielen (P)</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>Vorschau: %1</translation>
    </message>
</context>
<context>
    <name>ClipBar</name>
    <message>
        <source>Where the GIF begins in the clip (minutes:seconds)</source>
        <translation>Wo das GIF im Clip beginnt (Minuten:Sekunden)</translation>
    </message>
    <message>
        <source>&amp;From</source>
        <translation>&amp;Von</translation>
    </message>
    <message>
        <source>Where the GIF ends in the clip (minutes:seconds)</source>
        <translation>Wo das GIF im Clip endet (Minuten:Sekunden)</translation>
    </message>
    <message>
        <source>&amp;to</source>
        <translation>&amp;bis</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> fps</translation>
    </message>
    <message>
        <source>Frames a second taken from the clip</source>
        <translation>Bilder pro Sekunde aus dem Clip</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n Bild</numerusform>
            <numerusform>%n Bilder</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message>
        <source>Please open an animated GIF file</source>
        <translation>Bitte öffnen Sie eine animierte GIF-Datei</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Back to the previous step</source>
        <translation>Zurück zum vorherigen Schritt</translation>
    </message>
    <message>
        <source>Go on to the next step</source>
        <translation>Weiter zum nächsten Schritt</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Das Skizzen-GIF speichern</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>Menüleiste</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Schritt</translation>
    </message>
    <message>
        <source>Step 1: Open a GIF file</source>
        <translation>Schritt 1: Eine GIF-Datei öffnen</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>Befehle</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Bitte warten …</translation>
    </message>
    <message>
        <source>Stop this work</source>
        <translation>Diese Arbeit abbrechen</translation>
    </message>
    <message>
        <source>Step 1: Please open a GIF file</source>
        <translation>Schritt 1: Bitte öffnen Sie eine GIF-Datei</translation>
    </message>
    <message>
        <source>Step 2: Please select an effect, then click Next</source>
        <translation>Schritt 2: Bitte wählen Sie einen Effekt und klicken Sie dann auf „Weiter“</translation>
    </message>
    <message>
        <source>Step 3: Click Save to save the GIF file.</source>
        <translation>Schritt 3: Klicken Sie auf „Speichern“, um die GIF-Datei zu speichern.</translation>
    </message>
    <message>
        <source>&amp;Options ●</source>
        <translation>&amp;Optionen ●</translation>
    </message>
    <message>
        <source>GIF File (*.gif)</source>
        <translation>GIF-Datei (*.gif)</translation>
    </message>
    <message>
        <source>The file is damaged after frame %1; %2 frames were read.</source>
        <translation>Die Datei ist nach Bild %1 beschädigt; %2 Bilder wurden gelesen.</translation>
    </message>
    <message>
        <source>The GIF file could not be converted.

%1</source>
        <translation>Die GIF-Datei konnte nicht umgewandelt werden.

%1</translation>
    </message>
    <message>
        <source>The converted GIF cannot be shown.

%1</source>
        <translation>Das umgewandelte GIF kann nicht angezeigt werden.

%1</translation>
    </message>
    <message>
        <source>Animated WebP (*.webp)</source>
        <translation>Animiertes WebP (*.webp)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 existiert bereits.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>The GIF file could not be saved.

%1</source>
        <translation>Die GIF-Datei konnte nicht gespeichert werden.

%1</translation>
    </message>
    <message>
        <source>The WebP file could not be saved.

%1</source>
        <translation>Die WebP-Datei konnte nicht gespeichert werden.

%1</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Updating the previews…</source>
        <translation>Vorschauen werden aktualisiert …</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>Standardwerte wiederherstellen</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O)</source>
        <translation>Effektoptionen anzeigen (Alt+O)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Saving the GIF file...</source>
        <translation>GIF-Datei wird gespeichert …</translation>
    </message>
    <message>
        <source>Stop the work in progress and open %1?</source>
        <translation>Die laufende Arbeit abbrechen und %1 öffnen?</translation>
    </message>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 Pixel, %n Bild, %3 s, %4</numerusform>
            <numerusform>%1 × %2 Pixel, %n Bilder, %3 s, %4</numerusform>
        </translation>
    </message>
    <message>
        <source>Saving the WebP file...</source>
        <translation>WebP-Datei wird gespeichert …</translation>
    </message>
    <message>
        <source>All supported files (%1)</source>
        <translation>Alle unterstützten Dateien (%1)</translation>
    </message>
    <message>
        <source>Animated PNG (%1)</source>
        <translation>Animiertes PNG (%1)</translation>
    </message>
    <message>
        <source>Videos (%1)</source>
        <translation>Videos (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): 1 option differs from the defaults</source>
        <translation>Effektoptionen anzeigen (Alt+O): 1 Option weicht vom Standard ab</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): %1 options differ from the defaults</source>
        <translation>Effektoptionen anzeigen (Alt+O): %1 Optionen weichen vom Standard ab</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>GIF, animiertes WebP oder Videoclip öffnen</translation>
    </message>
    <message>
        <source>No web browser could be started. The address of the web site is:
%1</source>
        <translation>Es konnte kein Webbrowser gestartet werden. Die Adresse der Website lautet:
%1</translation>
    </message>
    <message>
        <source>This file cannot be opened as an animation.

%1</source>
        <translation>Diese Datei kann nicht als Animation geöffnet werden.

%1</translation>
    </message>
    <message>
        <source>Making the GIF fit under %1...</source>
        <translation>GIF wird auf höchstens %1 gebracht …</translation>
    </message>
    <message>
        <source>MP4 video (*.mp4)</source>
        <translation>MP4-Video (*.mp4)</translation>
    </message>
    <message>
        <source>WebM video (*.webm)</source>
        <translation>WebM-Video (*.webm)</translation>
    </message>
    <message>
        <source>Saving the video file...</source>
        <translation>Die Videodatei wird gespeichert...</translation>
    </message>
    <message>
        <source>The video file could not be saved.

%1</source>
        <translation>Die Videodatei konnte nicht gespeichert werden.

%1</translation>
    </message>
</context>
<context>
    <name>OpenPage</name>
    <message>
        <source>Click Here to Open Your GIF File</source>
        <translation>Hier klicken, um Ihre GIF-Datei zu öffnen</translation>
    </message>
    <message>
        <source>Quillframe %1 — hand-drawn animations from your GIFs</source>
        <translation>Quillframe %1 — handgezeichnete Animationen aus Ihren GIFs</translation>
    </message>
    <message>
        <source>or drop a GIF, an animated WebP or a video clip anywhere on this window</source>
        <translation>oder ziehen Sie ein GIF, ein animiertes WebP oder einen Videoclip an eine beliebige Stelle dieses Fensters</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>der Ordner %1 existiert nicht</translation>
    </message>
    <message>
        <source>this folder does not accept new files</source>
        <translation>dieser Ordner nimmt keine neuen Dateien an</translation>
    </message>
    <message>
        <source>you have no permission to write into this folder</source>
        <translation>Sie haben keine Berechtigung, in diesen Ordner zu schreiben</translation>
    </message>
    <message>
        <source>the disk of this folder is read-only</source>
        <translation>der Datenträger dieses Ordners ist schreibgeschützt</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <source>the save was stopped</source>
        <translation>das Speichern wurde abgebrochen</translation>
    </message>
    <message>
        <source>Cannot check for another running Quillframe window:
%1</source>
        <translation>Es kann nicht geprüft werden, ob bereits ein anderes Quillframe-Fenster läuft:
%1</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>Zugriff verweigert</translation>
    </message>
    <message>
        <source>the lock file cannot be written</source>
        <translation>die Sperrdatei kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>das ist kein Ordner</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>der Ordner gehört einem anderen Benutzer</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>der Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Das Skizzen-GIF speichern</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>GIF, animiertes WebP oder Videoclip öffnen</translation>
    </message>
</context>
<context>
    <name>ResultPage</name>
    <message>
        <source>Fit under:</source>
        <translation>Höchstens:</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Eigene</translation>
    </message>
    <message>
        <source>Use the original size</source>
        <translation>Originalgröße verwenden</translation>
    </message>
    <message>
        <source>Convert again without a size limit</source>
        <translation>Ohne Größenbeschränkung erneut umwandeln</translation>
    </message>
    <message>
        <source>Made to fit under %1.</source>
        <translation>Auf höchstens %1 gebracht.</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>Qualität %1</translation>
    </message>
    <message>
        <source>1 frame in %1</source>
        <translation>1 Bild von %1</translation>
    </message>
    <message>
        <source>shrunk to %1%</source>
        <translation>verkleinert auf %1 %</translation>
    </message>
    <message>
        <source>Made to fit under %1: %2.</source>
        <translation>Auf höchstens %1 gebracht: %2.</translation>
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
        <translation>Abspielen oder anhalten (Leertaste)</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Nächstes Bild</translation>
    </message>
    <message>
        <source>Show the next frame (Right; Left goes back)</source>
        <translation>Das nächste Bild zeigen (Rechts; Links geht zurück)</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Show at the real size, or fitted</source>
        <translation>In Originalgröße oder eingepasst anzeigen</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>Vorher</translation>
    </message>
    <message>
        <source>Hold to see the original (or hold B)</source>
        <translation>Gedrückt halten, um das Original zu sehen (oder B halten)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
</context>
<context>
    <name>WorkPage</name>
    <message>
        <source>Please wait...</source>
        <translation>Bitte warten …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Frame %1 of %2</source>
        <translation>Bild %1 von %2</translation>
    </message>
</context>
<context>
    <name>qf::Switches</name>
    <message>
        <source>Color Sketch</source>
        <translation>Farbskizze</translation>
    </message>
    <message>
        <source>Colour instead of grey sketch depth, dots and pencil layer (variant 2)</source>
        <translation>Farbe statt Grau für Skizzentiefe, Punkte und Bleistiftebene (Variante 2)</translation>
    </message>
    <message>
        <source>Sharpen</source>
        <translation>Schärfen</translation>
    </message>
    <message>
        <source>Sharpen the finished picture</source>
        <translation>Das fertige Bild schärfen</translation>
    </message>
    <message>
        <source>Mix similar color</source>
        <translation>Ähnliche Farben mischen</translation>
    </message>
    <message>
        <source>Merge areas of similar colour into flat cartoon colours under the lines</source>
        <translation>Flächen ähnlicher Farbe unter den Linien zu flachen Cartoonfarben zusammenfassen</translation>
    </message>
    <message>
        <source>Adjust sketch depth</source>
        <translation>Skizzentiefe anpassen</translation>
    </message>
    <message>
        <source>Darken or lighten lines and dots to follow the frame&apos;s shading</source>
        <translation>Linien und Punkte der Schattierung des Bildes folgend abdunkeln oder aufhellen</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>Weichzeichnen</translation>
    </message>
    <message>
        <source>Soften the finished picture with a 2 x 2 box average (before sharpening)</source>
        <translation>Das fertige Bild mit einem 2 x 2-Mittelwert weichzeichnen (vor dem Schärfen)</translation>
    </message>
    <message>
        <source>Still grain</source>
        <translation>Ruhige Papierkörnung</translation>
    </message>
    <message>
        <source>The pencil paper&apos;s grain (variant 2) holds still wherever the picture does not change, instead of changing every three frames</source>
        <translation>Die Körnung des Zeichenpapiers (Variante 2) bleibt still, wo sich das Bild nicht ändert, statt alle drei Bilder zu wechseln</translation>
    </message>
    <message>
        <source>Ink</source>
        <translation>Tinte</translation>
    </message>
    <message>
        <source>How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest shadows, higher fills more</source>
        <translation>Wie dunkel ein Ton sein muss, bevor er zu voller Tinte wird: weniger behält nur die Umrisse und die tiefsten Schatten, mehr füllt mehr aus</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>Linien</translation>
    </message>
    <message>
        <source>How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher more detail</source>
        <translation>Wie stark ein Farbunterschied sein muss, damit ein Umriss gezeichnet wird: weniger zeichnet weniger, sauberere Linien, mehr zeigt mehr Details</translation>
    </message>
</context>
<context>
    <name>qf::Variants</name>
    <message>
        <source>Line sketch</source>
        <translation>Strichzeichnung</translation>
    </message>
    <message>
        <source>Black pencil lines on white paper</source>
        <translation>Schwarze Bleistiftlinien auf weißem Papier</translation>
    </message>
    <message>
        <source>Stucki dots</source>
        <translation>Stucki-Punkte</translation>
    </message>
    <message>
        <source>The sketched frame as black and white dots</source>
        <translation>Das skizzierte Bild als schwarze und weiße Punkte</translation>
    </message>
    <message>
        <source>Pencil on paper</source>
        <translation>Bleistift auf Papier</translation>
    </message>
    <message>
        <source>Pencil lines on a grainy paper texture</source>
        <translation>Bleistiftlinien auf körniger Papierstruktur</translation>
    </message>
    <message>
        <source>Vivid colour</source>
        <translation>Leuchtende Farben</translation>
    </message>
    <message>
        <source>Bright, saturated colours with sketch lines</source>
        <translation>Helle, satte Farben mit Skizzenlinien</translation>
    </message>
    <message>
        <source>Vivid colour with dots</source>
        <translation>Leuchtende Farben mit Punkten</translation>
    </message>
    <message>
        <source>Bright, saturated colours under a layer of dots</source>
        <translation>Helle, satte Farben unter einer Punkteschicht</translation>
    </message>
    <message>
        <source>Colour sketch</source>
        <translation>Farbskizze</translation>
    </message>
    <message>
        <source>Sketch lines over flat cartoon colours (or the frame&apos;s own colours)</source>
        <translation>Skizzenlinien über flachen Cartoonfarben (oder den eigenen Farben des Bildes)</translation>
    </message>
    <message>
        <source>Colour sketch with dots</source>
        <translation>Farbskizze mit Punkten</translation>
    </message>
    <message>
        <source>Sketch lines and dots over flat cartoon colours</source>
        <translation>Skizzenlinien und Punkte über flachen Cartoonfarben</translation>
    </message>
    <message>
        <source>Sepia tint</source>
        <translation>Sepiatönung</translation>
    </message>
    <message>
        <source>A warm single-hue tint that keeps the lightness</source>
        <translation>Eine warme, einfarbige Tönung, die die Helligkeit bewahrt</translation>
    </message>
    <message>
        <source>Sepia tint with dots</source>
        <translation>Sepiatönung mit Punkten</translation>
    </message>
    <message>
        <source>A warm single-hue tint under a layer of dots</source>
        <translation>Eine warme, einfarbige Tönung unter einer Punkteschicht</translation>
    </message>
    <message>
        <source>Poster</source>
        <translation>Poster</translation>
    </message>
    <message>
        <source>Two levels per colour channel</source>
        <translation>Zwei Stufen je Farbkanal</translation>
    </message>
    <message>
        <source>Poster with dots</source>
        <translation>Poster mit Punkten</translation>
    </message>
    <message>
        <source>Two levels per colour channel under a layer of dots</source>
        <translation>Zwei Stufen je Farbkanal unter einer Punkteschicht</translation>
    </message>
    <message>
        <source>High contrast</source>
        <translation>Hoher Kontrast</translation>
    </message>
    <message>
        <source>Mid-tones stretched to hard light and dark</source>
        <translation>Mitteltöne zu hartem Hell und Dunkel gespreizt</translation>
    </message>
    <message>
        <source>High contrast with dots</source>
        <translation>Hoher Kontrast mit Punkten</translation>
    </message>
    <message>
        <source>Hard light and dark under a layer of dots</source>
        <translation>Hartes Hell und Dunkel unter einer Punkteschicht</translation>
    </message>
    <message>
        <source>Eight greys</source>
        <translation>Acht Graustufen</translation>
    </message>
    <message>
        <source>The sketched frame in eight grey levels</source>
        <translation>Das skizzierte Bild in acht Graustufen</translation>
    </message>
    <message>
        <source>Eight greys with dots</source>
        <translation>Acht Graustufen mit Punkten</translation>
    </message>
    <message>
        <source>Eight grey levels under a layer of dots</source>
        <translation>Acht Graustufen unter einer Punkteschicht</translation>
    </message>
    <message>
        <source>Grey sketch</source>
        <translation>Graustufenskizze</translation>
    </message>
    <message>
        <source>The sketched frame in shades of grey</source>
        <translation>Das skizzierte Bild in Grautönen</translation>
    </message>
    <message>
        <source>Grey sketch with dots</source>
        <translation>Graustufenskizze mit Punkten</translation>
    </message>
    <message>
        <source>Shades of grey under a layer of dots</source>
        <translation>Grautöne unter einer Punkteschicht</translation>
    </message>
</context>
<context>
    <name>qf::shell::UpdateReminder</name>
    <message>
        <source>Do you want to visit our website to check if there is a new version released?</source>
        <translation>Möchten Sie unsere Website besuchen, um nachzusehen, ob eine neue Version erschienen ist?</translation>
    </message>
</context>
</TS>
