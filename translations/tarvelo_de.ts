<?xml version="1.0" encoding="utf-8"?>
<!-- SPDX-License-Identifier: GPL-3.0-or-later -->
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>BatchLog</name>
    <message>
        <source> ... OK! (</source>
        <translation> ... OK! (</translation>
    </message>
    <message>
        <source> ... Failed! (</source>
        <translation> ... Fehlgeschlagen! (</translation>
    </message>
    <message>
        <source> of </source>
        <translation> von </translation>
    </message>
    <message>
        <source>%1 of %2 %3 stamped, %4 failed.</source>
        <translation>%1 von %2 %3 gestempelt, %4 fehlgeschlagen.</translation>
    </message>
    <message>
        <source>picture</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>pictures</source>
        <translation>Bildern</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=&quot;#ffc90e&quot;&gt;Warning&lt;/font&gt;&lt;/b&gt; - File </source>
        <translation>&lt;b&gt;&lt;font color=&quot;#ffc90e&quot;&gt;Warnung&lt;/font&gt;&lt;/b&gt; – Die Datei </translation>
    </message>
    <message>
        <source> saved with new name </source>
        <translation> wurde unter dem neuen Namen </translation>
    </message>
    <message>
        <source> to avoid overwrite because it already existed!</source>
        <translation> gespeichert, weil sie schon existierte und nicht überschrieben werden soll!</translation>
    </message>
    <message>
        <source>%1 x %2 pixels</source>
        <translation>%1 × %2 Pixel</translation>
    </message>
    <message>
        <source>%1 is too large to stamp: %2 needs %3 MB, %4 MB are available.</source>
        <translation>%1 ist zu groß zum Stempeln: %2 braucht %3 MB, verfügbar sind %4 MB.</translation>
    </message>
    <message>
        <source>%1 (%2) could not be stamped: not enough memory.</source>
        <translation>%1 (%2) konnte nicht gestempelt werden: nicht genug Speicher.</translation>
    </message>
    <message>
        <source>%1 is damaged: %2.</source>
        <translation>%1 ist beschädigt: %2.</translation>
    </message>
    <message>
        <source>%1: its metadata could not be carried over (%2).</source>
        <translation>%1: Die Metadaten konnten nicht übernommen werden (%2).</translation>
    </message>
    <message>
        <source>%1 is too large to stamp: %2 are more than the %3 megapixels allowed for one picture.</source>
        <translation>%1 ist zu groß zum Stempeln: %2 sind mehr als die %3 Megapixel, die ein Bild haben darf.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>%1: the text and the logo lie outside the picture.</source>
        <translation>%1: Der Text und das Logo liegen außerhalb des Bildes.</translation>
    </message>
    <message>
        <source>%1: the text lies outside the picture.</source>
        <translation>%1: Der Text liegt außerhalb des Bildes.</translation>
    </message>
    <message>
        <source>%1: the logo lies outside the picture.</source>
        <translation>%1: Das Logo liegt außerhalb des Bildes.</translation>
    </message>
</context>
<context>
    <name>Cli</name>
    <message>
        <source>tarvelo-cli: %1
Try &apos;tarvelo-cli --help&apos; for more.
</source>
        <translation>tarvelo-cli: %1
Mehr dazu mit „tarvelo-cli --help“.
</translation>
    </message>
    <message>
        <source>cannot read the settings file &quot;%1&quot;</source>
        <translation>die Einstellungsdatei „%1“ ist nicht lesbar</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a settings file in INI format</source>
        <translation>„%1“ ist keine Einstellungsdatei im INI-Format</translation>
    </message>
    <message>
        <source>no watermark text is set, and tarvelo-cli will not stamp the first-run placeholder &quot;%1&quot; on your pictures. Give the text with --set wtrmark_edit=&quot;(c) Your Name&quot; (--set wtrmark_edit= for none), or type it in the Tarvelo window, which saves its options for tarvelo-cli when it starts a run or closes</source>
        <translation>es ist kein Wasserzeichentext gesetzt, und tarvelo-cli stempelt nicht den Platzhalter „%1“ des ersten Starts auf Ihre Bilder. Geben Sie den Text mit --set wtrmark_edit=&quot;(c) Ihr Name&quot; an (--set wtrmark_edit= für keinen), oder tippen Sie ihn im Tarvelo-Fenster ein, das seine Einstellungen für tarvelo-cli speichert, wenn es einen Lauf startet oder geschlossen wird</translation>
    </message>
    <message>
        <source>tarvelo-cli: the font &quot;%1&quot; is not installed; &quot;%2&quot; is used instead
</source>
        <translation>tarvelo-cli: Die Schrift „%1“ ist nicht installiert; stattdessen wird „%2“ verwendet
</translation>
    </message>
    <message>
        <source>the logo &quot;%1&quot; cannot be read (%2); --set logo_file_name= stamps without a logo</source>
        <translation>das Logo „%1“ ist nicht lesbar (%2); mit --set logo_file_name= wird ohne Logo gestempelt</translation>
    </message>
    <message>
        <source>the list holds NUL bytes: use --null</source>
        <translation>die Liste enthält NUL-Bytes: verwenden Sie --null</translation>
    </message>
    <message>
        <source>cannot read &quot;%1&quot; for --retry</source>
        <translation>„%1“ ist für --retry nicht lesbar</translation>
    </message>
    <message>
        <source>standard input</source>
        <translation>die Standardeingabe</translation>
    </message>
    <message>
        <source> holds neither result lines nor journal records</source>
        <translation> enthält weder Ergebniszeilen noch Journaleinträge</translation>
    </message>
    <message>
        <source>the output folder &quot;%1&quot; %2</source>
        <translation>der Ausgabeordner „%1“ %2</translation>
    </message>
    <message>
        <source>is not a folder</source>
        <translation>ist kein Ordner</translation>
    </message>
    <message>
        <source>does not exist</source>
        <translation>existiert nicht</translation>
    </message>
    <message>
        <source>the output folder &quot;%1&quot; cannot be written: %2</source>
        <translation>in den Ausgabeordner „%1“ kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>--output needs a folder</source>
        <translation>--output braucht einen Ordner</translation>
    </message>
    <message>
        <source>--options needs a file</source>
        <translation>--options braucht eine Datei</translation>
    </message>
    <message>
        <source>--set needs KEY=VALUE</source>
        <translation>--set braucht SCHLÜSSEL=WERT</translation>
    </message>
    <message>
        <source>--set: there is no setting called &quot;%1&quot;</source>
        <translation>--set: Es gibt keine Einstellung namens „%1“</translation>
    </message>
    <message>
        <source>; did you mean %1?</source>
        <translation>; meinten Sie %1?</translation>
    </message>
    <message>
        <source> (--list-settings lists them all)</source>
        <translation> (--list-settings listet alle auf)</translation>
    </message>
    <message>
        <source>--quality takes a whole number from %1 to %2</source>
        <translation>--quality nimmt eine ganze Zahl von %1 bis %2</translation>
    </message>
    <message>
        <source>--jobs takes a whole number from 1 to 1024</source>
        <translation>--jobs nimmt eine ganze Zahl von 1 bis 1024</translation>
    </message>
    <message>
        <source>--strip-metadata takes no value</source>
        <translation>--strip-metadata nimmt keinen Wert</translation>
    </message>
    <message>
        <source>--strip-location takes no value</source>
        <translation>--strip-location nimmt keinen Wert</translation>
    </message>
    <message>
        <source>--null takes no value</source>
        <translation>--null nimmt keinen Wert</translation>
    </message>
    <message>
        <source>--retry takes no value</source>
        <translation>--retry nimmt keinen Wert</translation>
    </message>
    <message>
        <source>--list-settings takes no value</source>
        <translation>--list-settings nimmt keinen Wert</translation>
    </message>
    <message>
        <source>--journal needs a file</source>
        <translation>--journal braucht eine Datei</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>unbekannte Option %1</translation>
    </message>
    <message>
        <source>say where the stamped pictures go: --output DIR</source>
        <translation>geben Sie an, wohin die gestempelten Bilder kommen: --output ORDNER</translation>
    </message>
    <message>
        <source>name the pictures or folders to stamp (or - to read them from standard input)</source>
        <translation>nennen Sie die Bilder oder Ordner, die gestempelt werden sollen (oder -, um sie von der Standardeingabe zu lesen)</translation>
    </message>
    <message>
        <source>--format needs jpg, png, tif or webp</source>
        <translation>--format braucht jpg, png, tif oder webp</translation>
    </message>
    <message>
        <source>--format takes jpg, png, tif or webp, not &quot;%1&quot;</source>
        <translation>--format nimmt jpg, png, tif oder webp, nicht &quot;%1&quot;</translation>
    </message>
    <message>
        <source>--keep-tree takes no value</source>
        <translation>--keep-tree nimmt keinen Wert</translation>
    </message>
    <message>
        <source>--name needs a pattern, e.g. {name}_web</source>
        <translation>--name braucht ein Muster, z. B. {name}_web</translation>
    </message>
    <message>
        <source>Usage: tarvelo-cli [options] --output DIR PATH...

Stamps every picture with the logo, text and settings the Tarvelo window
last saved, and writes the stamped copies into DIR, never overwriting a
file. Needs no display.

The settings come from the window&apos;s store, saved when the window starts a
run or closes (~/.config/Dovrin Halsek/Tarvelo.conf), or from --options FILE
instead; --set overrides single keys over either, and --list-settings shows
every key with its first-run default and the value in effect. Before the
window has saved any, the first-run defaults hold, and two of them surprise:
every picture is resized to fit 1920 x 1920 (--set resize_check=false keeps
the sizes), and the text is the placeholder &quot;Enter your text here!&quot;, which
is refused: give the text with --set wtrmark_edit=TEXT (empty for none).

PATH is a picture file or a folder, taken as a drop on the window takes it
(every picture under it, each folder in natural name order); - reads one
path per line from standard input.

Options:
  -o, --output DIR      the folder the stamped pictures go to (must exist)
  --options FILE        take the settings from FILE (the INI format of the
                        window&apos;s store, e.g. a copy of
                        ~/.config/Dovrin Halsek/Tarvelo.conf) instead of
                        the window&apos;s store
  --set KEY=VALUE       override one stored setting by its key, e.g.
                        wtrmark_edit=&quot;(c) Me&quot;, shadow_spin=20,
                        logo_file_name=/path/logo.png; repeatable
  --format jpg|png|tif|webp
                        the output format
  --quality N           the JPG and WEBP quality, 1 to 100 (a WEBP is
                        lossless at 100)
  --jobs N              pictures worked on at once (default: the cores this
                        process may use, by its CPU affinity and its
                        container&apos;s or batch job&apos;s CPU quota)
  --strip-metadata      leave metadata and colour profile out
  --strip-location      leave out where the pictures were taken (their GPS
                        tags) and keep the rest of their metadata; the
                        same as --set strip_location_check=true
  --keep-tree           write the pictures found in a folder into the same
                        subfolders of DIR (made as needed); the same as
                        --set keep_tree_check=true
  --name PATTERN        name the stamped pictures by PATTERN: {name} is the
                        picture&apos;s own name, and the watermark text&apos;s fields
                        can be used, e.g. {name}_web or {date}_{counter:4};
                        the same as --set name_pattern=PATTERN
  --null                - reads NUL-separated paths (find -print0); without
                        it, a list holding a NUL byte is refused
  --journal FILE        record every picture in FILE as soon as it is done,
                        and leave out the pictures FILE records as stamped:
                        a run repeated with the same FILE, after any
                        interruption, stamps each picture once in total
  --retry               each PATH is a journal or a file of result lines
                        (- reads them from standard input): the pictures
                        they record as failed, and none as stamped, are
                        stamped again
  --list-settings       list every setting, one a line, tab-separated: key,
                        type and range, first-run default, value in effect
                        (with --options and --set) and meaning
  -h, --help            show this help
  -V, --version         show the version

With --set text_fields_check=true the watermark text&apos;s fields are filled
in for each picture: {name}, {date}, {time}, {year}, {artist}, {copyright},
{camera}, {lens}, {width}, {height}, {counter} ({counter:3} gives 001);
{{ and }} stand for braces. The logo may be an SVG or SVGZ drawing.

Standard output gets one line per picture, tab-separated:
  ok&lt;TAB&gt;source&lt;TAB&gt;output   or   failed&lt;TAB&gt;source&lt;TAB&gt;reason
(a tab, newline, carriage return or backslash in a name is written as \t,
\n, \r or \\; --retry reads them back).
Standard error gets a progress bar when it is a terminal, and a summary.

Exit status: 0 all stamped, 1 some failed (or the journal could not be
written), 2 usage or settings error (nothing written), 130 interrupted
(Ctrl-C or SIGTERM; the file being written is finished, no partial file
is left).
</source>
        <translation>Aufruf: tarvelo-cli [Optionen] --output ORDNER PFAD...

Stempelt jedes Bild mit dem Logo, dem Text und den Einstellungen, die das
Tarvelo-Fenster zuletzt gespeichert hat, und schreibt die gestempelten Kopien
nach ORDNER, ohne je eine Datei zu überschreiben. Braucht keinen Bildschirm.

Die Einstellungen kommen aus dem Speicher des Fensters, der beim Start eines
Laufs oder beim Schließen des Fensters geschrieben wird
(~/.config/Dovrin Halsek/Tarvelo.conf), oder stattdessen aus --options DATEI;
--set setzt einzelne Schlüssel darüber, und --list-settings zeigt jeden
Schlüssel mit seinem Vorgabewert beim ersten Start und dem geltenden Wert.
Solange das Fenster keine gespeichert hat, gelten die Vorgaben des ersten
Starts, und zwei davon überraschen: Jedes Bild wird auf 1920 x 1920 gebracht
(--set resize_check=false lässt die Größen), und der Text ist der Platzhalter
&quot;Enter your text here!&quot;, der abgelehnt wird: Geben Sie den Text mit
--set wtrmark_edit=TEXT an (leer für keinen).

PFAD ist eine Bilddatei oder ein Ordner, genommen wie beim Ziehen auf das
Fenster (jedes Bild darin, jeder Ordner in natürlicher Namensfolge); - liest
einen Pfad je Zeile von der Standardeingabe.

Optionen:
  -o, --output ORDNER   der Ordner für die gestempelten Bilder (muss
                        existieren)
  --options DATEI       die Einstellungen aus DATEI nehmen (im INI-Format
                        des Fensterspeichers, z. B. eine Kopie von
                        ~/.config/Dovrin Halsek/Tarvelo.conf) statt aus dem
                        Speicher des Fensters
  --set SCHLÜSSEL=WERT  eine gespeicherte Einstellung über ihren Schlüssel
                        ersetzen, z. B. wtrmark_edit=&quot;(c) Ich&quot;,
                        shadow_spin=20, logo_file_name=/pfad/logo.png;
                        wiederholbar
  --format jpg|png|tif|webp
                        das Ausgabeformat
  --quality N           die JPG- und WEBP-Qualität, 1 bis 100 (ein WEBP ist
                        bei 100 verlustfrei)
  --jobs N              gleichzeitig bearbeitete Bilder (Vorgabe: die
                        Kerne, die dieser Prozess nach seiner CPU-Affinität
                        und der CPU-Quote seines Containers oder Batch-Jobs
                        nutzen darf)
  --strip-metadata      Metadaten und Farbprofil weglassen
  --strip-location      den Aufnahmeort der Bilder (ihre GPS-Angaben)
                        weglassen und die übrigen Metadaten behalten;
                        dasselbe wie --set strip_location_check=true
  --keep-tree           die in einem Ordner gefundenen Bilder in dieselben
                        Unterordner von ORDNER schreiben (bei Bedarf
                        angelegt); dasselbe wie --set keep_tree_check=true
  --name MUSTER         die gestempelten Bilder nach MUSTER benennen: {name}
                        ist der eigene Name des Bildes, und die Felder des
                        Wasserzeichentexts sind nutzbar, z. B. {name}_web
                        oder {date}_{counter:4}; dasselbe wie
                        --set name_pattern=MUSTER
  --null                - liest durch NUL getrennte Pfade (find -print0);
                        ohne diese Option wird eine Liste mit NUL-Byte
                        abgelehnt
  --journal DATEI       jedes Bild in DATEI vermerken, sobald es fertig ist,
                        und die Bilder auslassen, die DATEI als gestempelt
                        vermerkt: Ein mit derselben DATEI wiederholter Lauf
                        stempelt nach jeder Unterbrechung jedes Bild
                        insgesamt einmal
  --retry               jeder PFAD ist ein Journal oder eine Datei mit
                        Ergebniszeilen (- liest sie von der Standardeingabe):
                        Die Bilder, die darin als fehlgeschlagen und nirgends
                        als gestempelt vermerkt sind, werden erneut gestempelt
  --list-settings       jede Einstellung auflisten, eine je Zeile, durch
                        Tabulatoren getrennt: Schlüssel, Typ und Bereich,
                        Vorgabe beim ersten Start, geltender Wert (mit
                        --options und --set) und Bedeutung
  -h, --help            diese Hilfe zeigen
  -V, --version         die Version zeigen

Mit --set text_fields_check=true werden die Felder des Wasserzeichentexts
für jedes Bild ausgefüllt: {name}, {date}, {time}, {year}, {artist},
{copyright}, {camera}, {lens}, {width}, {height}, {counter} ({counter:3}
ergibt 001); {{ und }} stehen für geschweifte Klammern. Das Logo darf eine
SVG- oder SVGZ-Zeichnung sein.

Die Standardausgabe bekommt eine Zeile je Bild, durch Tabulatoren getrennt:
  ok&lt;TAB&gt;Quelle&lt;TAB&gt;Ausgabe   oder   failed&lt;TAB&gt;Quelle&lt;TAB&gt;Grund
(ein Tabulator, Zeilenvorschub, Wagenrücklauf oder Backslash in einem Namen
wird als \t, \n, \r oder \\ geschrieben; --retry liest sie zurück).
Die Standardfehlerausgabe bekommt einen Fortschrittsbalken, wenn sie ein
Terminal ist, und eine Zusammenfassung.

Exit-Status: 0 alle gestempelt, 1 einige fehlgeschlagen (oder das Journal
konnte nicht geschrieben werden), 2 Aufruf- oder Einstellungsfehler (nichts
geschrieben), 130 unterbrochen (Strg-C oder SIGTERM; die Datei in Arbeit wird
fertig geschrieben, keine halbe Datei bleibt zurück).
</translation>
    </message>
</context>
<context>
    <name>DrawingReasons</name>
    <message>
        <source>it refers to something outside itself (%1)</source>
        <translation>sie verweist auf etwas außerhalb ihrer selbst (%1)</translation>
    </message>
    <message>
        <source>its entities expand to more than %1 characters</source>
        <translation>ihre Entitäten ergeben mehr als %1 Zeichen</translation>
    </message>
    <message>
        <source>it holds no SVG drawing</source>
        <translation>sie enthält keine SVG-Zeichnung</translation>
    </message>
    <message>
        <source>it holds text, which is drawn only as outlines (paths)</source>
        <translation>sie enthält Text, der nur als Umrisse (Pfade) gezeichnet wird</translation>
    </message>
    <message>
        <source>it holds an embedded picture that is neither PNG nor JPEG</source>
        <translation>sie enthält ein eingebettetes Bild, das weder PNG noch JPEG ist</translation>
    </message>
    <message>
        <source>its XML is malformed: %1 (line %2)</source>
        <translation>ihr XML ist fehlerhaft: %1 (Zeile %2)</translation>
    </message>
    <message>
        <source>the decoder ran out of memory</source>
        <translation>dem Decoder ging der Speicher aus</translation>
    </message>
    <message>
        <source>it unpacks to more than %1 MB</source>
        <translation>sie ist entpackt größer als %1 MB</translation>
    </message>
    <message>
        <source>its packed data is damaged</source>
        <translation>ihre gepackten Daten sind beschädigt</translation>
    </message>
    <message>
        <source>it is larger than %1 MB</source>
        <translation>sie ist größer als %1 MB</translation>
    </message>
    <message>
        <source>it states no size</source>
        <translation>sie gibt keine Größe an</translation>
    </message>
    <message>
        <source>QtSvg cannot draw it</source>
        <translation>QtSvg kann sie nicht zeichnen</translation>
    </message>
    <message>
        <source>it states a size larger than %1 pixels</source>
        <translation>sie gibt eine Größe über %1 Pixel an</translation>
    </message>
    <message>
        <source>the decoder sent a malformed reply</source>
        <translation>der Decoder schickte eine fehlerhafte Antwort</translation>
    </message>
    <message>
        <source>not enough memory</source>
        <translation>nicht genug Speicher</translation>
    </message>
    <message>
        <source>%1 could not be read: %2.</source>
        <translation>%1 konnte nicht gelesen werden: %2.</translation>
    </message>
</context>
<context>
    <name>Fields</name>
    <message>
        <source>The watermark text holds the unknown field %1: it is stamped as typed.</source>
        <translation>Der Wasserzeichentext enthält das unbekannte Feld %1: Es wird gestempelt, wie es eingegeben ist.</translation>
    </message>
    <message>
        <source>The watermark text holds the unknown fields %1: they are stamped as typed.</source>
        <translation>Der Wasserzeichentext enthält die unbekannten Felder %1: Sie werden gestempelt, wie sie eingegeben sind.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Tarvelo</source>
        <translation>Tarvelo</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Shadow</source>
        <translation>Schatten</translation>
    </message>
    <message>
        <source>Shadow Position</source>
        <translation>Position des Schattens</translation>
    </message>
    <message>
        <source>Move the shadow bar to the Top of the picure.</source>
        <translation>Den Schattenbalken an den oberen Rand des Bildes legen.</translation>
    </message>
    <message>
        <source>Top</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Move the shadow bar to the Bottom of the picure.</source>
        <translation>Den Schattenbalken an den unteren Rand des Bildes legen.</translation>
    </message>
    <message>
        <source>Bottom</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>Shadow Type</source>
        <translation>Art des Schattens</translation>
    </message>
    <message>
        <source>Set shadow bar type to Light mode.</source>
        <translation>Der Schattenbalken hellt das Bild auf.</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Hell</translation>
    </message>
    <message>
        <source>Set shadow bar type to Dark mode.</source>
        <translation>Der Schattenbalken dunkelt das Bild ab.</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Dunkel</translation>
    </message>
    <message>
        <source>Shadow Height :</source>
        <translation>Schattenhöhe :</translation>
    </message>
    <message>
        <source>Shadow bar height in pixels. Set this to 0 (Zero) to have no shadow bars at all.</source>
        <translation>Höhe des Schattenbalkens in Pixeln. 0 (null) bedeutet: kein Schattenbalken.</translation>
    </message>
    <message>
        <source>Watermark</source>
        <translation>Wasserzeichen</translation>
    </message>
    <message>
        <source>Font Options (Preview)</source>
        <translation>Schrift (Vorschau)</translation>
    </message>
    <message>
        <source>Selected font preview.</source>
        <translation>Vorschau der gewählten Schrift.</translation>
    </message>
    <message>
        <source>ABCD</source>
        <translation>ABCD</translation>
    </message>
    <message>
        <source>Open font settings for watermark text.</source>
        <translation>Die Schrift des Wasserzeichentextes wählen.</translation>
    </message>
    <message>
        <source> Font</source>
        <translation> Schrift</translation>
    </message>
    <message>
        <source>Open font color settings for watermark text.</source>
        <translation>Die Farbe des Wasserzeichentextes wählen.</translation>
    </message>
    <message>
        <source> Color</source>
        <translation> Farbe</translation>
    </message>
    <message>
        <source>Watermark Text</source>
        <translation>Wasserzeichentext</translation>
    </message>
    <message>
        <source>Watermark text shoeld be entered here. Or you can leave it empty if you don&apos;t need it.</source>
        <translation>Hier den Wasserzeichentext eingeben. Wer keinen braucht, lässt das Feld leer.</translation>
    </message>
    <message>
        <source>www.dovrinhalsek.com</source>
        <translation>www.dovrinhalsek.com</translation>
    </message>
    <message>
        <source>Align watermark text to center, top, bottom, left or right corner of the picture, then set offset positions.</source>
        <translation>Den Wasserzeichentext an der Mitte, einem Rand oder einer Ecke des Bildes ausrichten und dann den Versatz einstellen.</translation>
    </message>
    <message>
        <source>Watermark Align</source>
        <translation>Ausrichtung des Wasserzeichens</translation>
    </message>
    <message>
        <source>C</source>
        <translation>M</translation>
    </message>
    <message>
        <source>Watermark Position Offset</source>
        <translation>Versatz des Wasserzeichens</translation>
    </message>
    <message>
        <source>Use this if watermark is out of place or misconfigured in any way.</source>
        <translation>Hilft, wenn das Wasserzeichen verrutscht oder falsch eingestellt ist.</translation>
    </message>
    <message>
        <source> Reset</source>
        <translation> Zurücksetzen</translation>
    </message>
    <message>
        <source>X :</source>
        <translation>X :</translation>
    </message>
    <message>
        <source>Depending on the watermark align settings, this value is the horizontal distance from the selected align point.</source>
        <translation>Der waagrechte Abstand des Wasserzeichens vom gewählten Ausrichtungspunkt.</translation>
    </message>
    <message>
        <source>Y :</source>
        <translation>Y :</translation>
    </message>
    <message>
        <source>Depending on the watermark align settings, this value is the vertical distance from the selected align point.</source>
        <translation>Der senkrechte Abstand des Wasserzeichens vom gewählten Ausrichtungspunkt.</translation>
    </message>
    <message>
        <source>Set opacity value to a value between 0 and 100. (The lower the opacity value, the more transparent your watermark will be.)</source>
        <translation>Deckkraft zwischen 0 und 100. (Je niedriger der Wert, desto durchsichtiger das Wasserzeichen.)</translation>
    </message>
    <message>
        <source>Watermark Opacity</source>
        <translation>Deckkraft des Wasserzeichens</translation>
    </message>
    <message>
        <source>Logo</source>
        <translation>Logo</translation>
    </message>
    <message>
        <source>Logo Preview</source>
        <translation>Vorschau des Logos</translation>
    </message>
    <message>
        <source>Preview selected logo image.</source>
        <translation>Vorschau des gewählten Logos.</translation>
    </message>
    <message>
        <source>Browse your computer and select and image to use as logo.</source>
        <translation>Ein Bild auf dem Computer als Logo auswählen.</translation>
    </message>
    <message>
        <source> Browse</source>
        <translation> Durchsuchen</translation>
    </message>
    <message>
        <source>Remove selected logo. (Won&apos;t delete logo file from your computer.)</source>
        <translation>Das gewählte Logo entfernen. (Die Logodatei bleibt auf dem Computer.)</translation>
    </message>
    <message>
        <source> Clear</source>
        <translation> Leeren</translation>
    </message>
    <message>
        <source>Align logo image to center, top, bottom, left or right corner of the picture, then set offset positions.</source>
        <translation>Das Logo an der Mitte, einem Rand oder einer Ecke des Bildes ausrichten und dann den Versatz einstellen.</translation>
    </message>
    <message>
        <source>Logo Align</source>
        <translation>Ausrichtung des Logos</translation>
    </message>
    <message>
        <source>Logo Position Offset</source>
        <translation>Versatz des Logos</translation>
    </message>
    <message>
        <source>Use this if logo is out of place or misconfigured in any way.</source>
        <translation>Hilft, wenn das Logo verrutscht oder falsch eingestellt ist.</translation>
    </message>
    <message>
        <source>Depending on the logo align settings, this value is the horizontal distance from the selected align point.</source>
        <translation>Der waagrechte Abstand des Logos vom gewählten Ausrichtungspunkt.</translation>
    </message>
    <message>
        <source>Depending on the logo align settings, this value is the vertical distance from the selected align point.</source>
        <translation>Der senkrechte Abstand des Logos vom gewählten Ausrichtungspunkt.</translation>
    </message>
    <message>
        <source>Set logo scale here. Original width and height  of logo will be multiplied by this value.</source>
        <translation>Maßstab des Logos: Breite und Höhe des Logos werden mit diesem Wert malgenommen.</translation>
    </message>
    <message>
        <source>Logo Scale</source>
        <translation>Größe des Logos</translation>
    </message>
    <message>
        <source>Set logo opacity to a value between 0 and 100. (The lower the opacity value, the more transparent your logo will be.)</source>
        <translation>Deckkraft des Logos zwischen 0 und 100. (Je niedriger der Wert, desto durchsichtiger das Logo.)</translation>
    </message>
    <message>
        <source>Logo Opacity</source>
        <translation>Deckkraft des Logos</translation>
    </message>
    <message>
        <source>Resize</source>
        <translation>Größe ändern</translation>
    </message>
    <message>
        <source>Enable/Disable output picture resize. (Changing resize values might affect logo and watermark positions.)</source>
        <translation>Die Größe der ausgegebenen Bilder ändern oder nicht. (Andere Maße können die Lage von Logo und Wasserzeichen verschieben.)</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>Width :</source>
        <translation>Breite :</translation>
    </message>
    <message>
        <source>Output picture width in pixels.</source>
        <translation>Breite der ausgegebenen Bilder in Pixeln.</translation>
    </message>
    <message>
        <source>Height :</source>
        <translation>Höhe :</translation>
    </message>
    <message>
        <source>Output picture height in pixels.</source>
        <translation>Höhe der ausgegebenen Bilder in Pixeln.</translation>
    </message>
    <message>
        <source>Keep or ignore aspect ratio. This option helps make sure the output image is fit into the selected width and height in a correct proportion.</source>
        <translation>Seitenverhältnis beibehalten oder nicht. Damit passt das Bild in richtigem Verhältnis in die gewählte Breite und Höhe.</translation>
    </message>
    <message>
        <source>Preserve Aspect Ratio</source>
        <translation>Seitenverhältnis beibehalten</translation>
    </message>
    <message>
        <source>Leave pictures that already fit inside the width and height at their own size instead of enlarging them.</source>
        <translation>Bilder, die schon in Breite und Höhe passen, in ihrer Größe lassen statt sie zu vergrößern.</translation>
    </message>
    <message>
        <source>Only shrink</source>
        <translation>Nur verkleinern</translation>
    </message>
    <message>
        <source>Output Format</source>
        <translation>Ausgabeformat</translation>
    </message>
    <message>
        <source>Set output images format to JPG, PNG ot TIF.</source>
        <translation>Das Format der ausgegebenen Bilder: JPG, PNG oder TIF.</translation>
    </message>
    <message>
        <source>JPG</source>
        <translation>JPG</translation>
    </message>
    <message>
        <source>PNG</source>
        <translation>PNG</translation>
    </message>
    <message>
        <source>TIF</source>
        <translation>TIF</translation>
    </message>
    <message>
        <source>Compression (Only with JPG)</source>
        <translation>Kompression (nur JPG)</translation>
    </message>
    <message>
        <source>Set JPG compression value. This option won&apos;t have any effect if PNG or TIF is selected.</source>
        <translation>Die JPG-Qualität. Bei PNG oder TIF hat sie keine Wirkung.</translation>
    </message>
    <message>
        <source>90%</source>
        <translation>90%</translation>
    </message>
    <message>
        <source>Leave out where the pictures were taken (their GPS tags), keeping the rest of their metadata and their colour profile.</source>
        <translation>Den Aufnahmeort der Bilder (ihre GPS-Angaben) weglassen und die übrigen Metadaten und das Farbprofil behalten.</translation>
    </message>
    <message>
        <source>Remove location (GPS)</source>
        <translation>Aufnahmeort entfernen (GPS)</translation>
    </message>
    <message>
        <source>Keep text size, logo scale, offsets and shadow bar in proportion to each picture&apos;s shorter side, as set on the picture shown when this is ticked.</source>
        <translation>Textgröße, Logogröße, Versatz und Schattenbalken im Verhältnis zur kürzeren Seite jedes Bildes halten, wie auf dem Bild eingestellt, das beim Ankreuzen gezeigt wird.</translation>
    </message>
    <message>
        <source>Scale with the picture</source>
        <translation>Mit dem Bild skalieren</translation>
    </message>
    <message>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <source>Results log.</source>
        <translation>Protokoll der Ergebnisse.</translation>
    </message>
    <message>
        <source>Clear results log.</source>
        <translation>Das Protokoll leeren.</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Tarvelo&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Introduction&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Tarvelo is for photographers, artists, designers and everyone who puts pictures on the web and wants them marked as their own. It stamps your pictures, drawings and photos with your name or web address (the watermark) and your logo. Add as many pictures as you like and stamp all of them at once. Your last stamp design is saved, ready for the next time.&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Features&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Drag and drop picture files and whole folders onto the window.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Supports BMP, GIF, JPG, JPEG 2000, PNG, WebP, TIF, PBM, PGM, PPM, XBM and XPM pictures (as far as the installed Qt image plug-ins can read them).&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Add a logo to your pictures.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Add a watermark text, with an optional light or dark shadow bar to set it off.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Align logo and watermark to any corner, edge or the centre; the relative position is kept in all pictures.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Resize the output pictures, with or without keeping the aspect ratio.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ JPG compression settings.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Output as JPG, PNG or TIF.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Batch processing: stamp any number of pictures with one click.&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Highlights&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Free of charge.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Easy to use.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Light weight.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Portable: runs from a copied folder without installing.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Configure once and reuse your settings every time.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Runs on Linux desktops (Debian 12 and later), and on Windows and macOS where Qt 5 runs.&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Visit &lt;a href=&quot;http://www.dovrinhalsek.com/tarvelo/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;http://www.dovrinhalsek.com/tarvelo/&lt;/span&gt;&lt;/a&gt; for more info.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Tarvelo&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Einführung&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Tarvelo ist für Fotografen, Künstler, Gestalter und alle, die Bilder ins Netz stellen und sie als ihre eigenen kennzeichnen wollen. Es stempelt Ihre Bilder, Zeichnungen und Fotos mit Ihrem Namen oder Ihrer Webadresse (dem Wasserzeichen) und Ihrem Logo. Fügen Sie so viele Bilder hinzu, wie Sie möchten, und stempeln Sie alle auf einmal. Ihr letzter Stempel wird gespeichert und steht beim nächsten Mal bereit.&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Funktionen&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Bilddateien und ganze Ordner mit der Maus auf das Fenster ziehen.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Liest BMP-, GIF-, JPG-, JPEG-2000-, PNG-, WebP-, TIF-, PBM-, PGM-, PPM-, XBM- und XPM-Bilder (soweit die installierten Bild-Plug-ins von Qt sie lesen können).&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Ein Logo auf Ihre Bilder setzen.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Einen Wasserzeichentext setzen, wahlweise mit einem hellen oder dunklen Schattenbalken, der ihn hervorhebt.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Logo und Wasserzeichen an jeder Ecke, jedem Rand oder der Mitte ausrichten; die relative Lage bleibt in allen Bildern gleich.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Die Größe der ausgegebenen Bilder ändern, mit oder ohne Seitenverhältnis.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Einstellbare JPG-Kompression.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Ausgabe als JPG, PNG oder TIF.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Stapelverarbeitung: beliebig viele Bilder mit einem Klick stempeln.&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Vorzüge&lt;/span&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Kostenlos.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Einfach zu bedienen.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Schlank.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Portabel: läuft aus einem kopierten Ordner, ohne Installation.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Einmal einrichten und die Einstellungen jedes Mal wieder verwenden.&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;+ Läuft auf Linux-Desktops (ab Debian 12) sowie auf Windows und macOS, wo Qt 5 läuft.&lt;/p&gt;
&lt;p style=&quot;-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;&lt;br /&gt;&lt;/p&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Mehr dazu auf &lt;a href=&quot;http://www.dovrinhalsek.com/tarvelo/&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#0000ff;&quot;&gt;http://www.dovrinhalsek.com/tarvelo/&lt;/span&gt;&lt;/a&gt;.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Credits</source>
        <translation>Mitwirkende</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Switch preview image to its Actual size.</source>
        <translation>Die Vorschau in tatsächlicher Größe zeigen.</translation>
    </message>
    <message>
        <source>Actual Size</source>
        <translation>Originalgröße</translation>
    </message>
    <message>
        <source>Fit image into preview window.</source>
        <translation>Das Bild in das Vorschaufenster einpassen.</translation>
    </message>
    <message>
        <source>Fit To Screen</source>
        <translation>Einpassen</translation>
    </message>
    <message>
        <source>Switch preview mode to Hight Quality. Note that this won&apos;t affect output image quality.</source>
        <translation>Die Vorschau in hoher Qualität zeigen. Auf die Qualität der ausgegebenen Bilder hat das keinen Einfluss.</translation>
    </message>
    <message>
        <source>High Quality Preview</source>
        <translation>Vorschau in hoher Qualität</translation>
    </message>
    <message>
        <source>Preview output image. You can drag and drop watermark text and logo and position it as you like.</source>
        <translation>Vorschau des gestempelten Bildes. Wasserzeichen und Logo lassen sich mit der Maus an ihren Platz ziehen.</translation>
    </message>
    <message>
        <source>Pictures</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>Add image files to the list. (These are the images you want to put a logo or watermark on them.)</source>
        <translation>Bilddateien zur Liste hinzufügen. (Die Bilder, die ein Logo oder Wasserzeichen bekommen sollen.)</translation>
    </message>
    <message>
        <source> Add Pictures</source>
        <translation> Bilder hinzufügen</translation>
    </message>
    <message>
        <source>Remove images from the list. (This won&apos;t delete any files from your computer.)</source>
        <translation>Bilder aus der Liste entfernen. (Dabei wird keine Datei auf dem Computer gelöscht.)</translation>
    </message>
    <message>
        <source> Remove</source>
        <translation> Entfernen</translation>
    </message>
    <message>
        <source>Clear the list of added images. (This won&apos;t delete any files from your computer.)</source>
        <translation>Die Liste der Bilder leeren. (Dabei wird keine Datei auf dem Computer gelöscht.)</translation>
    </message>
    <message>
        <source>Start/Stop Tarvelo. (Press this after you have added some files and configured all of the settings.)</source>
        <translation>Tarvelo starten oder anhalten. (Erst Bilder hinzufügen und alles einstellen, dann hier drücken.)</translation>
    </message>
    <message>
        <source> Start Stamping</source>
        <translation> Stempeln starten</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>List of selected (Added) image files. Click on each one of them to view the preview.</source>
        <translation>Die hinzugefügten Bilddateien. Ein Klick auf eine Datei zeigt ihre Vorschau.</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>Are you sure you want to exit?</source>
        <translation>Wollen Sie Tarvelo wirklich beenden?</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Are you you want to stop stamping?</source>
        <translation>Wollen Sie das Stempeln wirklich anhalten?</translation>
    </message>
    <message>
        <source>Start Stamping</source>
        <translation>Stempeln starten</translation>
    </message>
    <message>
        <source>Stamping Started ...</source>
        <translation>Stempeln gestartet ...</translation>
    </message>
    <message>
        <source>The font &quot;%1&quot; is not installed; &quot;%2&quot; is used instead.</source>
        <translation>Die Schrift „%1“ ist nicht installiert; stattdessen wird „%2“ verwendet.</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>No pictures to stamp!</source>
        <translation>Keine Bilder zum Stempeln!</translation>
    </message>
    <message>
        <source>First add some pictures using Add Pictures button.</source>
        <translation>Fügen Sie zuerst mit „Bilder hinzufügen“ Bilder hinzu.</translation>
    </message>
    <message>
        <source>Select Output Folder</source>
        <translation>Ausgabeordner wählen</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>What&apos;s goin on here?!</source>
        <translation>Was ist denn hier los?!</translation>
    </message>
    <message>
        <source>The output folder &quot;%1&quot; cannot be written: %2.</source>
        <translation>In den Ausgabeordner „%1“ kann nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>Are you going to go on stamping without any watermarks?</source>
        <translation>Wollen Sie ohne Wasserzeichen weiterstempeln?</translation>
    </message>
    <message>
        <source>Are you going to go on stamping without a logo?</source>
        <translation>Wollen Sie ohne Logo weiterstempeln?</translation>
    </message>
    <message>
        <source>Stamping Completed!</source>
        <translation>Stempeln abgeschlossen!</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Stamping interrupted!</source>
        <translation>Stempeln abgebrochen!</translation>
    </message>
    <message>
        <source>Add pictures</source>
        <translation>Bilder hinzufügen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Entf</translation>
    </message>
    <message>
        <source>Remove the selected picture (in the picture list)</source>
        <translation>Das gewählte Bild entfernen (in der Bilderliste)</translation>
    </message>
    <message>
        <source>Ctrl+Shift+Delete</source>
        <translation>Strg+Umschalt+Entf</translation>
    </message>
    <message>
        <source>Clear the picture list</source>
        <translation>Die Bilderliste leeren</translation>
    </message>
    <message>
        <source>Ctrl+Return</source>
        <translation>Strg+Eingabe</translation>
    </message>
    <message>
        <source>Start stamping</source>
        <translation>Stempeln starten</translation>
    </message>
    <message>
        <source>Clear the log</source>
        <translation>Das Protokoll leeren</translation>
    </message>
    <message>
        <source>Show this help</source>
        <translation>Diese Hilfe zeigen</translation>
    </message>
    <message>
        <source>Return or Space</source>
        <translation>Eingabe oder Leertaste</translation>
    </message>
    <message>
        <source>Press the button that has the focus</source>
        <translation>Den Knopf drücken, der den Fokus hat</translation>
    </message>
    <message>
        <source>Mouse wheel</source>
        <translation>Mausrad</translation>
    </message>
    <message>
        <source>Scroll the settings; a box or slider takes the wheel only when it has the focus</source>
        <translation>Die Einstellungen blättern; ein Feld oder Schieberegler nimmt das Rad nur, wenn es den Fokus hat</translation>
    </message>
    <message>
        <source>Picture formats read here</source>
        <translation>Hier lesbare Bildformate</translation>
    </message>
    <message>
        <source>Keyboard shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Open Logo</source>
        <translation>Logo öffnen</translation>
    </message>
    <message>
        <source>Images</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>Please wait ...</source>
        <translation>Bitte warten ...</translation>
    </message>
    <message>
        <source>Abort</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Please wait while your files are added. (%1 files)</source>
        <translation>Bitte warten, die Dateien werden hinzugefügt. (%1 Dateien)</translation>
    </message>
    <message>
        <source>Add Image Files</source>
        <translation>Bilddateien hinzufügen</translation>
    </message>
    <message>
        <source>Caution</source>
        <translation>Achtung</translation>
    </message>
    <message>
        <source>Turning this on might make Tarvelo work slower,&lt;br&gt;because it will use more CPU power for smooth resizing!&lt;br&gt;I recommend keeping this off because it only affects preview mode.&lt;br&gt;You will have high quality images produced regardless of this option.</source>
        <translation>Das kann Tarvelo verlangsamen,&lt;br&gt;weil das weiche Skalieren mehr Rechenleistung braucht!&lt;br&gt;Ich empfehle, es auszulassen, denn es betrifft nur die Vorschau.&lt;br&gt;Die gestempelten Bilder haben in jedem Fall hohe Qualität.</translation>
    </message>
    <message>
        <source>Icons made by &lt;a href=&quot;http://tango.freedesktop.org/&quot;&gt;the Tango Desktop Project&lt;/a&gt; (Ulisse Perusin, Steven Garrity, Lapo Calamandrei, Ryan Collier, Rodney Dawes, Andreas Nilsson, Tuomas Kuosmanen, Garrett LeSage, Jakub Steiner), from &lt;a href=&quot;http://tango.freedesktop.org/Tango_Icon_Library&quot;&gt;tango.freedesktop.org&lt;/a&gt; is licensed by &lt;a href=&quot;http://creativecommons.org/licenses/publicdomain/&quot;&gt;Creative Commons Public Domain Dedication&lt;/a&gt;: the icons are in the public domain.&lt;br&gt;&lt;br&gt;The arrows are drawn from the &lt;a href=&quot;https://dejavu-fonts.github.io/&quot;&gt;DejaVu Sans&lt;/a&gt; font (Bitstream Vera licence; the DejaVu changes are in the public domain).</source>
        <translation>Die Symbole stammen vom &lt;a href=&quot;http://tango.freedesktop.org/&quot;&gt;Tango Desktop Project&lt;/a&gt; (Ulisse Perusin, Steven Garrity, Lapo Calamandrei, Ryan Collier, Rodney Dawes, Andreas Nilsson, Tuomas Kuosmanen, Garrett LeSage, Jakub Steiner), von &lt;a href=&quot;http://tango.freedesktop.org/Tango_Icon_Library&quot;&gt;tango.freedesktop.org&lt;/a&gt;, und stehen unter der &lt;a href=&quot;http://creativecommons.org/licenses/publicdomain/&quot;&gt;Creative Commons Public Domain Dedication&lt;/a&gt;: Sie sind gemeinfrei.&lt;br&gt;&lt;br&gt;Die Pfeile sind aus der Schrift &lt;a href=&quot;https://dejavu-fonts.github.io/&quot;&gt;DejaVu Sans&lt;/a&gt; gezeichnet (Bitstream-Vera-Lizenz; die Änderungen von DejaVu sind gemeinfrei).</translation>
    </message>
    <message>
        <source>There is an update available for Tarvelo.&lt;br&gt;&lt;br&gt;Go to </source>
        <translation>Es gibt eine neue Version von Tarvelo.&lt;br&gt;&lt;br&gt;Auf </translation>
    </message>
    <message>
        <source> to download the latest version!&lt;br&gt;&lt;br&gt;Remember, you have to first uninstall currently installed Tarvelo!&lt;br&gt;&lt;br&gt;Your settings &lt;b&gt;will be preserved&lt;/b&gt; so you won&apos;t have to configure Tarvelo again.&lt;br&gt;&lt;br&gt;Current version: </source>
        <translation> können Sie die neueste Version herunterladen!&lt;br&gt;&lt;br&gt;Denken Sie daran, zuerst das installierte Tarvelo zu deinstallieren!&lt;br&gt;&lt;br&gt;Ihre Einstellungen &lt;b&gt;bleiben erhalten&lt;/b&gt;, Sie müssen Tarvelo also nicht neu einrichten.&lt;br&gt;&lt;br&gt;Installierte Version: </translation>
    </message>
    <message>
        <source>, New version: </source>
        <translation>, neue Version: </translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisierung</translation>
    </message>
    <message>
        <source>Icons</source>
        <translation>Symbole</translation>
    </message>
    <message>
        <source>&lt;br&gt;&lt;br&gt;Tarvelo is free software under the &lt;a href=&quot;https://www.gnu.org/licenses/gpl-3.0.html&quot;&gt;GNU General Public License, version 3 or later&lt;/a&gt; (GPL-3.0-or-later), and comes with no warranty.</source>
        <translation>&lt;br&gt;&lt;br&gt;Tarvelo ist freie Software unter der &lt;a href=&quot;https://www.gnu.org/licenses/gpl-3.0.html&quot;&gt;GNU General Public License, Version 3 oder später&lt;/a&gt; (GPL-3.0-or-later) und kommt ohne jede Gewährleistung.</translation>
    </message>
    <message>
        <source>WEBP</source>
        <translation>WEBP</translation>
    </message>
    <message>
        <source>Write each picture found in a folder into the same subfolders inside the output folder, instead of all into the output folder itself.</source>
        <translation>Jedes in einem Ordner gefundene Bild in dieselben Unterordner im Ausgabeordner schreiben, statt alle in den Ausgabeordner selbst.</translation>
    </message>
    <message>
        <source>Keep subfolders</source>
        <translation>Unterordner beibehalten</translation>
    </message>
    <message>
        <source>File name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Name of each stamped picture: {name} is the picture&apos;s own name; the fields of the watermark text can be used too, e.g. {name}_web or {date}_{counter:4}.</source>
        <translation>Name jedes gestempelten Bildes: {name} ist der eigene Name des Bildes; auch die Felder des Wasserzeichentexts sind nutzbar, z. B. {name}_web oder {date}_{counter:4}.</translation>
    </message>
    <message>
        <source>Fill in fields in the watermark text for each picture: {name}, {date}, {time}, {year}, {artist}, {copyright}, {camera}, {lens}, {width}, {height}, {counter} ({counter:3} for 001). {{ and }} stand for braces.</source>
        <translation>Die Felder im Wasserzeichentext für jedes Bild ausfüllen: {name}, {date}, {time}, {year}, {artist}, {copyright}, {camera}, {lens}, {width}, {height}, {counter} ({counter:3} für 001). {{ und }} stehen für geschweifte Klammern.</translation>
    </message>
    <message>
        <source>Fill in fields</source>
        <translation>Felder ausfüllen</translation>
    </message>
    <message>
        <source>Draw a soft dark shadow under the watermark text, so that it can be read on any background.</source>
        <translation>Einen weichen dunklen Schatten unter den Wasserzeichentext zeichnen, damit er auf jedem Hintergrund lesbar ist.</translation>
    </message>
    <message>
        <source>Shadow behind the text</source>
        <translation>Schatten hinter dem Text</translation>
    </message>
    <message>
        <source>Repeat the watermark text and the logo across the whole picture, turned 30 degrees. Their anchors and offsets shift the pattern.</source>
        <translation>Den Wasserzeichentext und das Logo über das ganze Bild wiederholen, um 30 Grad gedreht. Ihre Anker und Versätze verschieben das Muster.</translation>
    </message>
    <message>
        <source>Repeat across the picture</source>
        <translation>Über das Bild wiederholen</translation>
    </message>
</context>
<context>
    <name>OutputNames</name>
    <message>
        <source>the file name &quot;%1&quot; holds a /, which no file name can hold</source>
        <translation>der Dateiname &quot;%1&quot; enthält einen /, den kein Dateiname enthalten kann</translation>
    </message>
    <message>
        <source>the file name &quot;%1&quot; makes an empty name</source>
        <translation>der Dateiname &quot;%1&quot; ergibt einen leeren Namen</translation>
    </message>
</context>
<context>
    <name>StoredOptions</name>
    <message>
        <source>the text is placed at the top left corner</source>
        <translation>der Text steht in der Ecke oben links</translation>
    </message>
    <message>
        <source>the text is placed at the top edge, centred</source>
        <translation>der Text steht oben in der Mitte</translation>
    </message>
    <message>
        <source>the text is placed at the top right corner</source>
        <translation>der Text steht in der Ecke oben rechts</translation>
    </message>
    <message>
        <source>the text is placed at the left edge, centred</source>
        <translation>der Text steht links in der Mitte</translation>
    </message>
    <message>
        <source>the text is placed at the centre</source>
        <translation>der Text steht in der Mitte</translation>
    </message>
    <message>
        <source>the text is placed at the right edge, centred</source>
        <translation>der Text steht rechts in der Mitte</translation>
    </message>
    <message>
        <source>the text is placed at the bottom left corner</source>
        <translation>der Text steht in der Ecke unten links</translation>
    </message>
    <message>
        <source>the text is placed at the bottom edge, centred</source>
        <translation>der Text steht unten in der Mitte</translation>
    </message>
    <message>
        <source>the text is placed at the bottom right corner</source>
        <translation>der Text steht in der Ecke unten rechts</translation>
    </message>
    <message>
        <source>the logo is placed at the top left corner</source>
        <translation>das Logo steht in der Ecke oben links</translation>
    </message>
    <message>
        <source>the logo is placed at the top edge, centred</source>
        <translation>das Logo steht oben in der Mitte</translation>
    </message>
    <message>
        <source>the logo is placed at the top right corner</source>
        <translation>das Logo steht in der Ecke oben rechts</translation>
    </message>
    <message>
        <source>the logo is placed at the left edge, centred</source>
        <translation>das Logo steht links in der Mitte</translation>
    </message>
    <message>
        <source>the logo is placed at the centre</source>
        <translation>das Logo steht in der Mitte</translation>
    </message>
    <message>
        <source>the logo is placed at the right edge, centred</source>
        <translation>das Logo steht rechts in der Mitte</translation>
    </message>
    <message>
        <source>the logo is placed at the bottom left corner</source>
        <translation>das Logo steht in der Ecke unten links</translation>
    </message>
    <message>
        <source>the logo is placed at the bottom edge, centred</source>
        <translation>das Logo steht unten in der Mitte</translation>
    </message>
    <message>
        <source>the logo is placed at the bottom right corner</source>
        <translation>das Logo steht in der Ecke unten rechts</translation>
    </message>
    <message>
        <source>the logo&apos;s scale: its width and height are multiplied by it</source>
        <translation>der Maßstab des Logos: Breite und Höhe werden mit ihm malgenommen</translation>
    </message>
    <message>
        <source>the logo&apos;s picture file; empty for no logo</source>
        <translation>die Bilddatei des Logos; leer für kein Logo</translation>
    </message>
    <message>
        <source>the text&apos;s font, as family,points,-1,5,weight,italic,0,0,0,0</source>
        <translation>die Schrift des Textes, als Familie,Punkte,-1,5,Stärke,kursiv,0,0,0,0</translation>
    </message>
    <message>
        <source>the watermark text; empty for none</source>
        <translation>der Wasserzeichentext; leer für keinen</translation>
    </message>
    <message>
        <source>the text&apos;s colour (always opaque)</source>
        <translation>die Farbe des Textes (immer deckend)</translation>
    </message>
    <message>
        <source>the shadow bar&apos;s height in pixels; 0 for none</source>
        <translation>die Höhe des Schattenbalkens in Pixeln; 0 für keinen</translation>
    </message>
    <message>
        <source>the logo&apos;s horizontal offset from its place, in pixels</source>
        <translation>der waagrechte Versatz des Logos von seinem Platz, in Pixeln</translation>
    </message>
    <message>
        <source>the logo&apos;s vertical offset from its place, in pixels</source>
        <translation>der senkrechte Versatz des Logos von seinem Platz, in Pixeln</translation>
    </message>
    <message>
        <source>the shadow bar runs along the top edge</source>
        <translation>der Schattenbalken liegt am oberen Rand</translation>
    </message>
    <message>
        <source>the shadow bar runs along the bottom edge</source>
        <translation>der Schattenbalken liegt am unteren Rand</translation>
    </message>
    <message>
        <source>the shadow bar lightens the picture</source>
        <translation>der Schattenbalken hellt das Bild auf</translation>
    </message>
    <message>
        <source>the shadow bar darkens the picture</source>
        <translation>der Schattenbalken dunkelt das Bild ab</translation>
    </message>
    <message>
        <source>the text&apos;s horizontal offset from its place, in pixels</source>
        <translation>der waagrechte Versatz des Textes von seinem Platz, in Pixeln</translation>
    </message>
    <message>
        <source>the text&apos;s vertical offset from its place, in pixels</source>
        <translation>der senkrechte Versatz des Textes von seinem Platz, in Pixeln</translation>
    </message>
    <message>
        <source>the window&apos;s preview shows the picture at its actual size</source>
        <translation>die Vorschau des Fensters zeigt das Bild in Originalgröße</translation>
    </message>
    <message>
        <source>the window&apos;s preview fits the picture into the window</source>
        <translation>die Vorschau des Fensters passt das Bild ins Fenster ein</translation>
    </message>
    <message>
        <source>the pictures are resized to width_spin x height_spin</source>
        <translation>die Bilder werden auf width_spin × height_spin gebracht</translation>
    </message>
    <message>
        <source>resizing keeps the pictures&apos; proportions, inside the width and height</source>
        <translation>die Größenänderung behält das Seitenverhältnis, innerhalb von Breite und Höhe</translation>
    </message>
    <message>
        <source>the width pictures are resized to, in pixels</source>
        <translation>die Breite, auf die Bilder gebracht werden, in Pixeln</translation>
    </message>
    <message>
        <source>the height pictures are resized to, in pixels</source>
        <translation>die Höhe, auf die Bilder gebracht werden, in Pixeln</translation>
    </message>
    <message>
        <source>the stamped pictures are written as JPG</source>
        <translation>die gestempelten Bilder werden als JPG geschrieben</translation>
    </message>
    <message>
        <source>the stamped pictures are written as PNG</source>
        <translation>die gestempelten Bilder werden als PNG geschrieben</translation>
    </message>
    <message>
        <source>the stamped pictures are written as TIF</source>
        <translation>die gestempelten Bilder werden als TIF geschrieben</translation>
    </message>
    <message>
        <source>the JPG quality</source>
        <translation>die JPG-Qualität</translation>
    </message>
    <message>
        <source>the text&apos;s opacity in percent</source>
        <translation>die Deckkraft des Textes in Prozent</translation>
    </message>
    <message>
        <source>the logo&apos;s opacity in percent</source>
        <translation>die Deckkraft des Logos in Prozent</translation>
    </message>
    <message>
        <source>the most megapixels a picture may have to be read</source>
        <translation>die meisten Megapixel, die ein Bild haben darf, um gelesen zu werden</translation>
    </message>
    <message>
        <source>text, logo, offsets and shadow bar keep their proportion to each picture&apos;s shorter side</source>
        <translation>Text, Logo, Versatz und Schattenbalken halten ihr Verhältnis zur kürzeren Seite jedes Bildes</translation>
    </message>
    <message>
        <source>resizing only makes pictures smaller, never larger</source>
        <translation>die Größenänderung verkleinert Bilder nur, vergrößert sie nie</translation>
    </message>
    <message>
        <source>the shorter side of the picture a proportional stamp was designed on; 0 for 1080</source>
        <translation>die kürzere Seite des Bildes, auf dem ein mitskalierender Stempel entworfen wurde; 0 für 1080</translation>
    </message>
    <message>
        <source>the stamped pictures leave out where they were taken (GPS)</source>
        <translation>die gestempelten Bilder verschweigen ihren Aufnahmeort (GPS)</translation>
    </message>
    <message>
        <source>where the window&apos;s splitter between preview and picture list was left</source>
        <translation>wo der Teiler zwischen Vorschau und Bilderliste im Fenster stehen blieb</translation>
    </message>
    <message>
        <source>%1 takes true or false, not %2</source>
        <translation>%1 nimmt true oder false, nicht %2</translation>
    </message>
    <message>
        <source>%1 takes %2, not %3</source>
        <translation>%1 nimmt %2, nicht %3</translation>
    </message>
    <message>
        <source>a whole number</source>
        <translation>eine ganze Zahl</translation>
    </message>
    <message>
        <source>a number</source>
        <translation>eine Zahl</translation>
    </message>
    <message>
        <source>%1 must be between %2 and %3, not %4</source>
        <translation>%1 muss zwischen %2 und %3 liegen, nicht %4</translation>
    </message>
    <message>
        <source>%1 takes a font description such as &quot;DejaVu Sans,18,-1,5,50,0,0,0,0,0&quot;, not %2</source>
        <translation>%1 nimmt eine Schriftbeschreibung wie &quot;DejaVu Sans,18,-1,5,50,0,0,0,0,0&quot;, nicht %2</translation>
    </message>
    <message>
        <source>%1 takes an ARGB number such as 0xffffffff or a colour such as #ffffff, not %2</source>
        <translation>%1 nimmt eine ARGB-Zahl wie 0xffffffff oder eine Farbe wie #ffffff, nicht %2</translation>
    </message>
    <message>
        <source>%1 is the window&apos;s own arrangement; only the window sets it</source>
        <translation>%1 ist die eigene Anordnung des Fensters; nur das Fenster setzt sie</translation>
    </message>
    <message>
        <source>the window asks the maker&apos;s web site for a newer version when it starts</source>
        <translation>das Fenster fragt beim Start auf der Website des Herstellers nach einer neueren Version</translation>
    </message>
    <message>
        <source>the stamped pictures are written as WEBP (lossless at quality 100)</source>
        <translation>die gestempelten Bilder werden als WEBP geschrieben (verlustfrei bei Qualität 100)</translation>
    </message>
    <message>
        <source>pictures found in a folder keep their subfolders inside the output folder</source>
        <translation>in einem Ordner gefundene Bilder behalten ihre Unterordner im Ausgabeordner</translation>
    </message>
    <message>
        <source>the stamped pictures&apos; file name: {name} and the text&apos;s fields</source>
        <translation>der Dateiname der gestempelten Bilder: {name} und die Felder des Texts</translation>
    </message>
    <message>
        <source>fields in braces in the text, such as {name} or {date}, are filled in for each picture</source>
        <translation>Felder in geschweiften Klammern im Text, etwa {name} oder {date}, werden für jedes Bild ausgefüllt</translation>
    </message>
    <message>
        <source>a soft dark shadow is drawn under the text</source>
        <translation>ein weicher dunkler Schatten wird unter den Text gezeichnet</translation>
    </message>
    <message>
        <source>the text and the logo are repeated across the whole picture, turned 30 degrees</source>
        <translation>Text und Logo werden über das ganze Bild wiederholt, um 30 Grad gedreht</translation>
    </message>
</context>
</TS>
