<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AccessibleNames</name>
    <message>
        <source>Clear text</source>
        <translation>Text löschen</translation>
    </message>
    <message>
        <source>More menus</source>
        <translation>Weitere Menüs</translation>
    </message>
</context>
<context>
    <name>BuildFileListJob</name>
    <message>
        <source>name is that of a temporary file of an interrupted copy</source>
        <translation>Name einer temporären Datei eines abgebrochenen Kopiervorgangs</translation>
    </message>
    <message>
        <source>recognized as destination folder</source>
        <translation>Als Zielordner erkannt</translation>
    </message>
    <message>
        <source>unable to read source folder</source>
        <translation>Quellordner kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>name contains a line separator</source>
        <translation>Der Name enthält einen Zeilentrenner</translation>
    </message>
    <message>
        <source>unable to read source file: %1</source>
        <translation>Quelldatei kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>source folder is hidden</source>
        <translation>Quellordner ist versteckt</translation>
    </message>
    <message>
        <source>source file is hidden</source>
        <translation>Quelldatei ist versteckt</translation>
    </message>
    <message>
        <source>source file is not a regular file</source>
        <translation>Quelldatei ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>folder name is not valid UTF-8</source>
        <translation>Ordnername ist kein gültiges UTF-8</translation>
    </message>
    <message>
        <source>file name is not valid UTF-8</source>
        <translation>Dateiname ist kein gültiges UTF-8</translation>
    </message>
    <message>
        <source>another source name differs only by case, and the destination ignores case: %1</source>
        <translation>Ein anderer Quellname unterscheidet sich nur in der Groß-/Kleinschreibung, und das Ziel unterscheidet sie nicht: %1</translation>
    </message>
    <message>
        <source>source file is symbolic link</source>
        <translation>Quelldatei ist eine symbolische Verknüpfung</translation>
    </message>
    <message>
        <source>link target contains a line separator</source>
        <translation>Das Verknüpfungsziel enthält einen Zeilentrenner</translation>
    </message>
    <message>
        <source>Destination file does not exist</source>
        <translation>Zieldatei existiert nicht</translation>
    </message>
    <message>
        <source>newer destination file exists</source>
        <translation>Eine neuere Zieldatei existiert</translation>
    </message>
    <message>
        <source>another file of this run has the same name</source>
        <translation>eine andere Datei dieses Laufs hat denselben Namen</translation>
    </message>
    <message>
        <source>source file matches no copy filter</source>
        <translation>Quelldatei passt zu keinem Einschlussfilter</translation>
    </message>
    <message>
        <source>source folder is left out by the skip filter &quot;%1&quot;</source>
        <translation>Quellordner wird durch den Ausschlussfilter „%1“ ausgelassen</translation>
    </message>
    <message>
        <source>unchanged since an earlier run</source>
        <translation>seit einem früheren Lauf unverändert</translation>
    </message>
    <message>
        <source>source file is left out by the skip filter &quot;%1&quot;</source>
        <translation>Quelldatei wird durch den Ausschlussfilter „%1“ ausgelassen</translation>
    </message>
</context>
<context>
    <name>CheckFileJob</name>
    <message>
        <source>unable to check source file</source>
        <translation>Quelldatei kann nicht geprüft werden</translation>
    </message>
    <message>
        <source>unable to check destination file</source>
        <translation>Zieldatei kann nicht geprüft werden</translation>
    </message>
    <message>
        <source>copy verified</source>
        <translation>Kopie geprüft</translation>
    </message>
    <message>
        <source>check error</source>
        <translation>Prüffehler</translation>
    </message>
    <message>
        <source>check cancelled by user</source>
        <translation>Prüfung vom Benutzer abgebrochen</translation>
    </message>
    <message>
        <source>content differs</source>
        <translation>Inhalt weicht ab</translation>
    </message>
</context>
<context>
    <name>CliArgumentParser</name>
    <message>
        <source>RULE</source>
        <translation>REGEL</translation>
    </message>
    <message>
        <source>Put every file directly into the destination folder.</source>
        <translation>Jede Datei direkt in den Zielordner legen.</translation>
    </message>
    <message>
        <source>Create the destination&apos;s missing parent folders too (without it, a destination whose parent folder is missing is an error).</source>
        <translation>Auch fehlende übergeordnete Ordner des Ziels erstellen (ohne diese Option ist ein Ziel, dessen übergeordneter Ordner fehlt, ein Fehler).</translation>
    </message>
    <message>
        <source>Do not walk subfolders.</source>
        <translation>Unterordner nicht durchlaufen.</translation>
    </message>
    <message>
        <source>Leave hidden files and folders out.</source>
        <translation>Versteckte Dateien und Ordner auslassen.</translation>
    </message>
    <message>
        <source>Do not copy symbolic links.</source>
        <translation>Symbolische Verknüpfungen nicht kopieren.</translation>
    </message>
    <message>
        <source>Do not create empty folders.</source>
        <translation>Keine leeren Ordner erstellen.</translation>
    </message>
    <message>
        <source>PATTERNS</source>
        <translation>MUSTER</translation>
    </message>
    <message>
        <source>Ignore errors of files matching these wildcard patterns (default desktop.ini).</source>
        <translation>Fehler von Dateien übergehen, die auf diese Platzhaltermuster passen (Standard: desktop.ini).</translation>
    </message>
    <message>
        <source>Number of worker threads (default: the settings).</source>
        <translation>Anzahl der Arbeits-Threads (Standard: aus den Einstellungen).</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>Copy method: default, native, qt or simple (default: the settings).</source>
        <translation>Kopiermethode: default, native, qt oder simple (Standard: aus den Einstellungen).</translation>
    </message>
    <message>
        <source>METHOD</source>
        <translation>METHODE</translation>
    </message>
    <message>
        <source>Copy files with this external program.</source>
        <translation>Dateien mit diesem externen Programm kopieren.</translation>
    </message>
    <message>
        <source>PROGRAM</source>
        <translation>PROGRAMM</translation>
    </message>
    <message>
        <source>Arguments of the external program, separated by spaces; an empty text gives none. Default: the program&apos;s usual arguments, -a for rsync and cp.</source>
        <translation>Argumente des externen Programms, durch Leerzeichen getrennt; ein leerer Text übergibt keine. Standard: die üblichen Argumente des Programms, -a für rsync und cp.</translation>
    </message>
    <message>
        <source>ARGS</source>
        <translation>ARGUMENTE</translation>
    </message>
    <message>
        <source>With --external: hand the whole source to the program without building a file list.</source>
        <translation>Mit --external: die ganze Quelle an das Programm übergeben, ohne eine Dateiliste zu erstellen.</translation>
    </message>
    <message>
        <source>Save the task file of the run to FILE at the end.</source>
        <translation>Die Aufgabendatei des Laufs am Ende in DATEI speichern.</translation>
    </message>
    <message>
        <source>FILE</source>
        <translation>DATEI</translation>
    </message>
    <message>
        <source>Report files left out by the filters.</source>
        <translation>Durch die Filter ausgelassene Dateien melden.</translation>
    </message>
    <message>
        <source>With resume: copy again the items in error.</source>
        <translation>Mit resume: die fehlerhaften Elemente erneut kopieren.</translation>
    </message>
    <message>
        <source>Print no progress and no report, only errors.</source>
        <translation>Keinen Fortschritt und keinen Bericht ausgeben, nur Fehler.</translation>
    </message>
    <message>
        <source>Print the report as one JSON object on standard output.</source>
        <translation>Den Bericht als ein JSON-Objekt auf der Standardausgabe ausgeben.</translation>
    </message>
    <message>
        <source>Keep settings and data in the program&apos;s folder.</source>
        <translation>Einstellungen und Daten im Ordner des Programms ablegen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Die Version anzeigen.</translation>
    </message>
    <message>
        <source>Exit codes:
  0  completed without errors
  1  completed with errors
  2  usage or path error; nothing was done
  3  stopped: resume it with the printed command, or run the same command again
  4  completed, but the report or the task file could not be written (closed
     output, full device)</source>
        <translation>Exit-Codes:
  0  ohne Fehler abgeschlossen
  1  mit Fehlern abgeschlossen
  2  Aufruf- oder Pfadfehler; es wurde nichts getan
  3  angehalten: mit dem ausgegebenen Befehl fortsetzen oder denselben Befehl
     erneut ausführen
  4  abgeschlossen, aber der Bericht oder die Aufgabendatei konnte nicht
     geschrieben werden (geschlossene Ausgabe, volles Gerät)</translation>
    </message>
    <message>
        <source>Copies, moves and verifies files and folders.</source>
        <translation>Kopiert, verschiebt und prüft Dateien und Ordner.</translation>
    </message>
    <message>
        <source>The destination is a folder. A missing one is created when its parent folder
exists, or with --parents.</source>
        <translation>Das Ziel ist ein Ordner. Fehlt er, wird er erstellt, wenn sein übergeordneter Ordner
existiert, oder mit --parents.</translation>
    </message>
    <message>
        <source>A run that ends with errors saves them in an errors file in the data folder and
prints the command that copies them again (resume FILE --fix-errors). A stopped
run (Ctrl-C, a termination request, a closed terminal) saves its task there when
its file list was complete and prints the command that resumes it. A resume that
completes removes the file the program saved, and updates a task file of yours.</source>
        <translation>Ein Lauf, der mit Fehlern endet, speichert sie in einer Fehlerdatei im Datenordner und
gibt den Befehl aus, der sie erneut kopiert (resume DATEI --fix-errors). Ein angehaltener
Lauf (Strg-C, Aufforderung zum Beenden, geschlossenes Terminal) speichert dort seine
Aufgabe, wenn seine Dateiliste vollständig war, und gibt den Befehl zum Fortsetzen aus.
Wird ein fortgesetzter Lauf abgeschlossen, entfernt er die vom Programm gespeicherte
Datei und aktualisiert eine von Ihnen angegebene Aufgabendatei.</translation>
    </message>
    <message>
        <source>command</source>
        <translation>Befehl</translation>
    </message>
    <message>
        <source>paths</source>
        <translation>Pfade</translation>
    </message>
    <message>
        <source>SOURCE DESTINATION, or TASKFILE for resume.</source>
        <translation>QUELLE ZIEL, oder AUFGABENDATEI für resume.</translation>
    </message>
    <message>
        <source>PATHS...</source>
        <translation>PFADE...</translation>
    </message>
    <message>
        <source>%1 %2 for %3
</source>
        <extracomment>Program name, its version and the operating system: &quot;Brindle 2.1.4 for Debian&quot;.</extracomment>
        <translation>%1 %2 für %3
</translation>
    </message>
    <message>
        <source>Try &apos;brindle-cli --help&apos; for more information.</source>
        <translation>Weitere Informationen mit &apos;brindle-cli --help&apos;.</translation>
    </message>
    <message>
        <source>resume needs exactly one task file.</source>
        <translation>resume braucht genau eine Aufgabendatei.</translation>
    </message>
    <message>
        <source>--%1 cannot be used with resume: a resumed run keeps the options stored in its task file.</source>
        <translation>--%1 kann nicht mit resume verwendet werden: Ein fortgesetzter Lauf behält die in seiner Aufgabendatei gespeicherten Optionen.</translation>
    </message>
    <message>
        <source>%1 needs a source and a destination.</source>
        <translation>%1 braucht eine Quelle und ein Ziel.</translation>
    </message>
    <message>
        <source>--fix-errors can only be used with resume.</source>
        <translation>--fix-errors kann nur mit resume verwendet werden.</translation>
    </message>
    <message>
        <source>--threads needs a number from 1 to 256.</source>
        <translation>--threads braucht eine Zahl von 1 bis 256.</translation>
    </message>
    <message>
        <source>Unknown --method &quot;%1&quot;: use default, native, qt or simple.</source>
        <translation>Unbekannte Methode „%1“ für --method: verwenden Sie default, native, qt oder simple.</translation>
    </message>
    <message>
        <source>--external cannot be used with verify.</source>
        <translation>--external kann nicht mit verify verwendet werden.</translation>
    </message>
    <message>
        <source>--external-args and --no-file-list need --external.</source>
        <translation>--external-args und --no-file-list brauchen --external.</translation>
    </message>
    <message>
        <source>--save-task needs a file name.</source>
        <translation>--save-task braucht einen Dateinamen.</translation>
    </message>
    <message>
        <source>check reads a checksum list made by sha256sum, b2sum or xxhsum -H2 and checks
the folder it lists (by default the list&apos;s own folder), each file read from its
device; files of the folder that the list does not name are reported too.</source>
        <translation>check liest eine Prüfsummenliste von sha256sum, b2sum oder xxhsum -H2 und prüft den
Ordner, den sie aufführt (ohne Angabe den Ordner der Liste); jede Datei wird von ihrem
Gerät gelesen. Dateien des Ordners, die die Liste nicht nennt, werden ebenfalls gemeldet.</translation>
    </message>
    <message>
        <source>No command given: use copy, move, verify, resume or check.</source>
        <translation>Kein Befehl angegeben: verwenden Sie copy, move, verify, resume oder check.</translation>
    </message>
    <message>
        <source>check needs a checksum list, and may name the folder it lists.</source>
        <translation>check braucht eine Prüfsummenliste und kann den Ordner nennen, den sie aufführt.</translation>
    </message>
    <message>
        <source>Digest a verify compares both sides by: sha256 (default), blake2b or xxh3.</source>
        <translation>Prüfsumme, mit der eine Prüfung beide Seiten vergleicht: sha256 (Vorgabe), blake2b oder xxh3.</translation>
    </message>
    <message>
        <source>ALGORITHM</source>
        <translation>ALGORITHMUS</translation>
    </message>
    <message>
        <source>Unknown --hash &quot;%1&quot;: use sha256, blake2b or xxh3.</source>
        <translation>Unbekannter --hash „%1“: verwenden Sie sha256, blake2b oder xxh3.</translation>
    </message>
    <message>
        <source>What to do with an existing destination file: never, older (default), always, rename, different or content (only when its bytes differ).</source>
        <translation>Was mit einer vorhandenen Zieldatei geschieht: never, older (Standard), always, rename, different oder content (nur wenn sich ihre Bytes unterscheiden).</translation>
    </message>
    <message>
        <source>With copy and move: read each copy back from the device and compare its digest with the source&apos;s; a move removes a source only after that.</source>
        <translation>Bei copy und move: jede Kopie vom Gerät zurücklesen und ihre Prüfsumme mit der der Quelle vergleichen; ein Verschieben entfernt eine Quelle erst danach.</translation>
    </message>
    <message>
        <source>With verify, or copy and move with --verify: write the checksum list of the verified files to FILE, in the format of sha256sum, b2sum or xxhsum -H2.</source>
        <translation>Bei verify, oder copy und move mit --verify: die Prüfsummenliste der geprüften Dateien nach DATEI schreiben, im Format von sha256sum, b2sum oder xxhsum -H2.</translation>
    </message>
    <message>
        <source>Unknown --overwrite rule &quot;%1&quot;: use never, older, always, rename, different or content.</source>
        <translation>Unbekannte --overwrite-Regel „%1“: never, older, always, rename, different oder content verwenden.</translation>
    </message>
    <message>
        <source>--verify is for copy and move; verify always compares.</source>
        <translation>--verify gilt für copy und move; verify vergleicht immer.</translation>
    </message>
    <message>
        <source>--verify cannot be used with --external.</source>
        <translation>--verify kann nicht mit --external verwendet werden.</translation>
    </message>
    <message>
        <source>--manifest needs a file name.</source>
        <translation>--manifest braucht einen Dateinamen.</translation>
    </message>
    <message>
        <source>--manifest needs verify, or --verify with copy and move.</source>
        <translation>--manifest braucht verify, oder --verify mit copy und move.</translation>
    </message>
    <message>
        <source>Copy only files matching these patterns (separated by commas; given several times, they add up). See &quot;Filters&quot; above.</source>
        <translation>Nur Dateien kopieren, die zu diesen Mustern passen (durch Kommas getrennt; mehrfach angegeben, addieren sie sich). Siehe „Filter“ oben.</translation>
    </message>
    <message>
        <source>Leave out files and folders matching these patterns (separated by commas; given several times, they add up).</source>
        <translation>Dateien und Ordner auslassen, die zu diesen Mustern passen (durch Kommas getrennt; mehrfach angegeben, addieren sie sich).</translation>
    </message>
    <message>
        <source>Let --include and --exclude match without regard to case (default: as the source&apos;s file system counts it).</source>
        <translation>--include und --exclude ohne Beachtung der Groß- und Kleinschreibung vergleichen (Standard: wie das Dateisystem der Quelle sie beachtet).</translation>
    </message>
    <message>
        <source>Filters: a pattern without &quot;/&quot; matches a name in any folder. One with &quot;/&quot;
matches the end of the path below the source (&quot;/&quot; between folders); a leading
&quot;/&quot; ties it to the top of the source, and a trailing &quot;/&quot; matches folders only,
with everything under them. &quot;*&quot; and &quot;?&quot; stop at &quot;/&quot;, &quot;**&quot; does not;
&quot;[abc]&quot; is one of a set. A backslash makes the next character stand for itself:
&quot;\,&quot; is a comma within a pattern. Case counts as it counts on the source&apos;s file
system (on Linux file systems it does, on FAT and exFAT not), or never with
--ignore-case. Excluded entries are left out even when an --include matches.
  --include &apos;*.jpg&apos;           JPEG files in every folder
  --exclude photos/           every folder named photos, and all in it
  --include &apos;photos/*.jpg&apos;    JPEG files right in a folder named photos
  --exclude &apos;/build/&apos;         only the folder build at the top of the source
  --include &apos;a\,b.txt&apos;        the file named a,b.txt</source>
        <extracomment>The patterns and paths in the examples stay as they are.</extracomment>
        <translation>Filter: Ein Muster ohne „/“ passt zu einem Namen in jedem Ordner. Eines mit „/“
passt zum Ende des Pfads unterhalb der Quelle („/“ zwischen Ordnern); ein „/“ am
Anfang bindet es an die oberste Ebene der Quelle, ein „/“ am Ende passt nur zu
Ordnern, samt allem darin. „*“ und „?“ enden an „/“, „**“ nicht; „[abc]“ ist
eines aus einer Menge. Ein Backslash lässt das nächste Zeichen für sich selbst
stehen: „\,“ ist ein Komma innerhalb eines Musters. Groß- und Kleinschreibung
zählt, wie sie auf dem Dateisystem der Quelle zählt (auf Linux-Dateisystemen ja,
auf FAT und exFAT nicht), mit --ignore-case nie. Ausgeschlossenes bleibt aus,
auch wenn ein --include passt.
  --include &apos;*.jpg&apos;           JPEG-Dateien in jedem Ordner
  --exclude photos/           jeder Ordner namens photos, samt Inhalt
  --include &apos;photos/*.jpg&apos;    JPEG-Dateien direkt in einem Ordner namens photos
  --exclude &apos;/build/&apos;         nur der Ordner build oben in der Quelle
  --include &apos;a\,b.txt&apos;        die Datei namens a,b.txt</translation>
    </message>
    <message>
        <source>Walk the source and the destination as the run would, count what it would do and check the destination&apos;s file system; write nothing. Exit 0 when the plan finds no problem, 1 when it does.</source>
        <translation>Quelle und Ziel wie der Lauf durchgehen, zählen, was er täte, und das Dateisystem des Ziels prüfen; nichts schreiben. Exit-Code 0, wenn der Plan kein Problem findet, sonst 1.</translation>
    </message>
    <message>
        <source>Run even when the check of the destination finds files too large for it or too little free space.</source>
        <translation>Auch dann ausführen, wenn die Prüfung des Ziels zu große Dateien oder zu wenig freien Platz findet.</translation>
    </message>
    <message>
        <source>--dry-run cannot be used with --external.</source>
        <translation>--dry-run kann nicht mit --external verwendet werden.</translation>
    </message>
    <message>
        <source>Write names the destination&apos;s file system refuses (FAT, exFAT, NTFS, SMB) with look-alike characters: &quot;*:&lt;&gt;?\| fullwidth, control characters as their pictures, trailing dots and spaces as U+FF0E and U+2420, a reserved name (CON, NUL, COM1...) with its first letter fullwidth, bytes that are not UTF-8 as %XX. Kept in a saved task; verify and fix errors find the same names.</source>
        <translation>Namen, die das Dateisystem des Ziels ablehnt (FAT, exFAT, NTFS, SMB), mit ähnlich aussehenden Zeichen schreiben: &quot;*:&lt;&gt;?\| in voller Breite, Steuerzeichen als ihre Bildzeichen, Punkte und Leerzeichen am Ende als U+FF0E und U+2420, bei einem reservierten Namen (CON, NUL, COM1...) den ersten Buchstaben in voller Breite, Bytes, die kein UTF-8 sind, als %XX. Wird in einer gespeicherten Aufgabe behalten; Prüfen und Fehler beheben finden dieselben Namen.</translation>
    </message>
    <message>
        <source>With copy, move and verify: add the run to the queue and return at once (see &quot;Queue&quot; above).</source>
        <translation>Bei copy, move und verify: den Lauf in die Warteschlange stellen und sofort zurückkehren (siehe „Warteschlange“ oben).</translation>
    </message>
    <message>
        <source>  brindle-cli copy   SOURCE DESTINATION [options]
  brindle-cli move   SOURCE DESTINATION [options]
  brindle-cli verify SOURCE DESTINATION [options]
  brindle-cli resume TASKFILE [--fix-errors]
  brindle-cli check  CHECKSUMS [FOLDER]
  brindle-cli queue  add|list|run|pause|continue|stop|remove|up|down [ID]</source>
        <extracomment>The command words (copy, move, verify, resume, check) stay; the words in capitals are placeholders for the user&apos;s paths, as are those of the options&apos; values.</extracomment>
        <translation>  brindle-cli copy   QUELLE ZIEL [Optionen]
  brindle-cli move   QUELLE ZIEL [Optionen]
  brindle-cli verify QUELLE ZIEL [Optionen]
  brindle-cli resume AUFGABENDATEI [--fix-errors]
  brindle-cli check  PRÜFSUMMEN [ORDNER]
  brindle-cli queue  add|list|run|pause|continue|stop|remove|up|down [ID]</translation>
    </message>
    <message>
        <source>Queue: copy, move or verify with --queue (or queue add copy|move|verify ...) adds
the run to your queue and returns; runs whose source or destination share a disk
run one after another, in order, and others beside them. One process runs the
queue: when none does, the first --queue (or queue run) becomes it and stays in
the foreground until no run is left queued, running or paused; Ctrl-C there stops
the runs, which go on from their place at the next start. The queue is kept in
the data folder and survives a crash. queue list [--json] shows order, state and
progress; pause, continue, stop, remove, up and down take a run&apos;s ID. A queued
run checks its destination when it is added (--force skips it).</source>
        <translation>Warteschlange: copy, move oder verify mit --queue (oder queue add copy|move|verify
...) stellt den Lauf in Ihre Warteschlange und kehrt zurück; Läufe, deren Quelle
oder Ziel auf einem Datenträger liegen, laufen nacheinander in ihrer Reihenfolge,
andere daneben. Ein Prozess führt die Warteschlange aus: gibt es keinen, wird es
das erste --queue (oder queue run) und bleibt im Vordergrund, bis kein Lauf mehr
wartet, läuft oder pausiert; Strg-C dort hält die Läufe an, die beim nächsten
Start an ihrer Stelle weitergehen. Die Warteschlange liegt im Datenordner und
übersteht einen Absturz. queue list [--json] zeigt Reihenfolge, Zustand und
Fortschritt; pause, continue, stop, remove, up und down nehmen die ID eines
Laufs. Ein Lauf in der Warteschlange prüft sein Ziel beim Einreihen (--force
überspringt das).</translation>
    </message>
    <message>
        <source>copy, move, verify, resume, check or queue.</source>
        <translation>copy (kopieren), move (verschieben), verify (prüfen), resume (fortsetzen), check (Prüfsummen prüfen) oder queue (Warteschlange).</translation>
    </message>
    <message>
        <source>Unknown command &quot;%1&quot;: use copy, move, verify, resume, check or queue.</source>
        <translation>Unbekannter Befehl „%1“: verwenden Sie copy, move, verify, resume, check oder queue.</translation>
    </message>
    <message>
        <source>queue needs one of add, list, run, pause, continue, stop, remove, up or down.</source>
        <translation>queue braucht eines von add, list, run, pause, continue, stop, remove, up oder down.</translation>
    </message>
    <message>
        <source>queue add takes a copy, move or verify.</source>
        <translation>queue add nimmt ein copy, move oder verify.</translation>
    </message>
    <message>
        <source>queue %1 needs the ID of one run.</source>
        <translation>queue %1 braucht die ID eines Laufs.</translation>
    </message>
    <message>
        <source>queue %1 takes no more arguments.</source>
        <translation>queue %1 nimmt keine weiteren Argumente.</translation>
    </message>
    <message>
        <source>--queue is for copy, move and verify, without --dry-run, --external and --save-task.</source>
        <translation>--queue gilt für copy, move und verify, ohne --dry-run, --external und --save-task.</translation>
    </message>
</context>
<context>
    <name>CliChecksums</name>
    <message>
        <source>missing</source>
        <translation>fehlt</translation>
    </message>
    <message>
        <source>content differs</source>
        <translation>Inhalt weicht ab</translation>
    </message>
    <message>
        <source>unreadable: %1</source>
        <translation>nicht lesbar: %1</translation>
    </message>
    <message>
        <source>not in the checksum list</source>
        <translation>nicht in der Prüfsummenliste</translation>
    </message>
    <message>
        <source>line %1 of the checksum list is not a checksum line</source>
        <translation>Zeile %1 der Prüfsummenliste ist keine Prüfsummenzeile</translation>
    </message>
    <message>
        <source>Equal: %1, differing: %2, missing: %3, unreadable: %4, not listed: %5
</source>
        <translation>Gleich: %1, abweichend: %2, fehlend: %3, nicht lesbar: %4, nicht aufgeführt: %5
</translation>
    </message>
    <message>
        <source>cannot read the checksum list %1: %2</source>
        <translation>Die Prüfsummenliste %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 is not a folder</source>
        <translation>%1 ist kein Ordner</translation>
    </message>
</context>
<context>
    <name>CliPlan</name>
    <message>
        <source>%1 files, %2</source>
        <extracomment>%1 is a number of files, %2 their size (&quot;3 files, 1.20 MB&quot;)</extracomment>
        <translation>%1 Dateien, %2</translation>
    </message>
    <message>
        <source>Plan of the %1 (nothing was written):</source>
        <translation>Plan für %1 (nichts wurde geschrieben):</translation>
    </message>
    <message>
        <source>To compare: %1</source>
        <translation>Zu vergleichen: %1</translation>
    </message>
    <message>
        <source>To copy (new): %1</source>
        <translation>Zu kopieren (neu): %1</translation>
    </message>
    <message>
        <source>To overwrite: %1</source>
        <translation>Zu überschreiben: %1</translation>
    </message>
    <message>
        <source>To rename (auto rename): %1</source>
        <translation>Umzubenennen (automatisch): %1</translation>
    </message>
    <message>
        <source>To skip: %1 (same: %2, newer: %3, filtered: %4)</source>
        <translation>Zu überspringen: %1 (gleich: %2, neuer: %3, gefiltert: %4)</translation>
    </message>
    <message>
        <source>In error: %1</source>
        <translation>Fehlerhaft: %1</translation>
    </message>
    <message>
        <source>To remove from the source: %1</source>
        <translation>Aus der Quelle zu entfernen: %1</translation>
    </message>
    <message>
        <source>Folders: %1</source>
        <translation>Ordner: %1</translation>
    </message>
    <message>
        <source>Estimated time: %1 (%2 ms per file and %3/s: %4)</source>
        <translation>Geschätzte Dauer: %1 (%2 ms je Datei und %3/s: %4)</translation>
    </message>
    <message>
        <source>Destination: %1 file system (%2), %3 free, %4 needed</source>
        <translation>Ziel: Dateisystem %1 (%2), %3 frei, %4 benötigt</translation>
    </message>
    <message>
        <source>No problem found.</source>
        <translation>Kein Problem gefunden.</translation>
    </message>
    <message>
        <source>Problem %1: %2</source>
        <translation>Problem %1: %2</translation>
    </message>
    <message>
        <source>, %1 bytes short</source>
        <translation>, es fehlen %1 Bytes</translation>
    </message>
    <message>
        <source>  ... and %1 more</source>
        <translation>  ... und %1 weitere</translation>
    </message>
    <message>
        <source>Not enough free space at the destination: %1 bytes needed, %2 available, %3 bytes short. Nothing was written; use --force to run anyway.</source>
        <translation>Nicht genug freier Platz am Ziel: %1 Bytes benötigt, %2 verfügbar, es fehlen %3 Bytes. Es wurde nichts geschrieben; mit --force trotzdem ausführen.</translation>
    </message>
    <message>
        <source>%1 files are larger than the destination&apos;s file system takes (first: %2). Nothing was written; use --force to run anyway.</source>
        <translation>%1 Dateien sind größer, als das Dateisystem des Ziels aufnimmt (erste: %2). Es wurde nichts geschrieben; mit --force trotzdem ausführen.</translation>
    </message>
    <message>
        <source>The destination cannot be written (%1: %2). Nothing was written; use --force to run anyway.</source>
        <translation>Das Ziel kann nicht beschrieben werden (%1: %2). Es wurde nichts geschrieben; mit --force trotzdem ausführen.</translation>
    </message>
    <message>
        <source>Renamed for the target (to copy, with look-alike characters): %1</source>
        <translation>Für das Ziel umbenannt (zu kopieren, mit ähnlich aussehenden Zeichen): %1</translation>
    </message>
</context>
<context>
    <name>CliQueue</name>
    <message>
        <source>brindle-cli: there is no data folder to keep the queue in.</source>
        <translation>brindle-cli: Es gibt keinen Datenordner für die Warteschlange.</translation>
    </message>
    <message>
        <source>The queue is run by another process already.</source>
        <translation>Die Warteschlange wird schon von einem anderen Prozess ausgeführt.</translation>
    </message>
    <message>
        <source>The queue does not answer.</source>
        <translation>Die Warteschlange antwortet nicht.</translation>
    </message>
    <message>
        <source>brindle-cli: the queue does not answer.</source>
        <translation>brindle-cli: Die Warteschlange antwortet nicht.</translation>
    </message>
    <message>
        <source>No process runs the queue: brindle-cli queue run runs it.</source>
        <translation>Kein Prozess führt die Warteschlange aus: brindle-cli queue run führt sie aus.</translation>
    </message>
    <message>
        <source>The queue is empty.</source>
        <translation>Die Warteschlange ist leer.</translation>
    </message>
    <message>
        <source>Unable to write the queue&apos;s task file &apos;%1&apos;.</source>
        <translation>Die Aufgabendatei „%1“ der Warteschlange kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Queued as %1.</source>
        <translation>Eingereiht als %1.</translation>
    </message>
    <message>
        <source>Started %1: %2 %3 -&gt; %4</source>
        <translation>Gestartet %1: %2 %3 -&gt; %4</translation>
    </message>
    <message>
        <source>Ended %1: %2%3</source>
        <translation>Beendet %1: %2%3</translation>
    </message>
    <message>
        <source>The queue&apos;s socket cannot be made: other processes do not see this queue.</source>
        <translation>Der Socket der Warteschlange kann nicht angelegt werden: andere Prozesse sehen diese Warteschlange nicht.</translation>
    </message>
    <message>
        <source>The queue is done.</source>
        <translation>Die Warteschlange ist abgearbeitet.</translation>
    </message>
    <message>
        <source>Stopping the runs; they go on from their place at the next start.</source>
        <translation>Die Läufe werden angehalten; beim nächsten Start gehen sie an ihrer Stelle weiter.</translation>
    </message>
</context>
<context>
    <name>CliReport</name>
    <message>
        <source>The move is stopped.</source>
        <translation>Das Verschieben wurde angehalten.</translation>
    </message>
    <message>
        <source>The move has some errors.</source>
        <translation>Beim Verschieben sind Fehler aufgetreten.</translation>
    </message>
    <message>
        <source>The move is completed.</source>
        <translation>Das Verschieben ist abgeschlossen.</translation>
    </message>
    <message>
        <source>The verify is stopped.</source>
        <translation>Die Prüfung wurde angehalten.</translation>
    </message>
    <message>
        <source>The verify has some errors.</source>
        <translation>Bei der Prüfung sind Fehler aufgetreten.</translation>
    </message>
    <message>
        <source>The verify is completed.</source>
        <translation>Die Prüfung ist abgeschlossen.</translation>
    </message>
    <message>
        <source>The copy is stopped.</source>
        <translation>Das Kopieren wurde angehalten.</translation>
    </message>
    <message>
        <source>The copy has some errors.</source>
        <translation>Beim Kopieren sind Fehler aufgetreten.</translation>
    </message>
    <message>
        <source>The copy is completed.</source>
        <translation>Das Kopieren ist abgeschlossen.</translation>
    </message>
    <message>
        <source>%1: %2 (%3 bytes)</source>
        <translation>%1: %2 (%3 Byte)</translation>
    </message>
    <message>
        <source>Total Folders</source>
        <translation>Ordner gesamt</translation>
    </message>
    <message>
        <source>Processed Folders</source>
        <translation>Verarbeitete Ordner</translation>
    </message>
    <message>
        <source>Total Files</source>
        <translation>Dateien gesamt</translation>
    </message>
    <message>
        <source>Total File Size</source>
        <translation>Gesamtgröße der Dateien</translation>
    </message>
    <message>
        <source>Processed Files</source>
        <translation>Verarbeitete Dateien</translation>
    </message>
    <message>
        <source>Processed File Size</source>
        <translation>Größe der verarbeiteten Dateien</translation>
    </message>
    <message>
        <source>Verified Files</source>
        <translation>Geprüfte Dateien</translation>
    </message>
    <message>
        <source>Skipped Files</source>
        <translation>Übersprungene Dateien</translation>
    </message>
    <message>
        <source>Moved Files</source>
        <translation>Verschobene Dateien</translation>
    </message>
    <message>
        <source>Copied Files</source>
        <translation>Kopierte Dateien</translation>
    </message>
    <message>
        <source>Checked Files</source>
        <translation>Geprüfte Dateien</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Elapsed Time: %1</source>
        <translation>Verstrichene Zeit: %1</translation>
    </message>
    <message>
        <source>Average Speed: %1/s</source>
        <translation>Durchschnittliche Geschwindigkeit: %1/s</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>%1/%2%3 files, %4/%5%3</source>
        <extracomment>Files done/to do, then bytes done/to do; %3 is &quot;+&quot; while the list still grows.</extracomment>
        <translation>%1/%2%3 Dateien, %4/%5%3</translation>
    </message>
    <message>
        <source>, building file list</source>
        <translation>, Dateiliste wird erstellt</translation>
    </message>
    <message>
        <source>, %1 left</source>
        <translation>, noch %1</translation>
    </message>
    <message>
        <source>, %1 errors</source>
        <translation>, %1 Fehler</translation>
    </message>
    <message>
        <source>Writing to the device…</source>
        <translation>Daten werden auf das Gerät geschrieben…</translation>
    </message>
    <message>
        <source>Nothing to do: the move was complete.</source>
        <translation>Nichts zu tun: Das Verschieben war vollständig.</translation>
    </message>
    <message>
        <source>Nothing to do: the verify was complete.</source>
        <translation>Nichts zu tun: Die Prüfung war vollständig.</translation>
    </message>
    <message>
        <source>Nothing to do: the copy was complete.</source>
        <translation>Nichts zu tun: Die Kopie war vollständig.</translation>
    </message>
    <message>
        <source>Changed Since The Earlier Run</source>
        <translation>Seit dem früheren Lauf geändert</translation>
    </message>
    <message>
        <source>Filtered Files</source>
        <translation>Gefilterte Dateien</translation>
    </message>
    <message>
        <source>Filtered Folders</source>
        <translation>Gefilterte Ordner</translation>
    </message>
</context>
<context>
    <name>CliRunner</name>
    <message>
        <source>Unable to find &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The destination &apos;%1&apos; is not a folder.</source>
        <translation>Das Ziel &apos;%1&apos; ist kein Ordner.</translation>
    </message>
    <message>
        <source>The destination&apos;s parent folder &apos;%1&apos; does not exist (is the drive mounted?); use --parents to create it.</source>
        <translation>Der übergeordnete Ordner &apos;%1&apos; des Ziels existiert nicht (ist das Laufwerk eingehängt?); mit --parents wird er erstellt.</translation>
    </message>
    <message>
        <source>Unable to create destination folder &apos;%1&apos;.</source>
        <translation>Der Zielordner &apos;%1&apos; kann nicht erstellt werden.</translation>
    </message>
    <message>
        <source>The task file &apos;%1&apos; needs a file name.</source>
        <translation>Die Aufgabendatei &apos;%1&apos; braucht einen Dateinamen.</translation>
    </message>
    <message>
        <source>Unable to write the task file &apos;%1&apos;: %2.</source>
        <translation>Die Aufgabendatei &apos;%1&apos; kann nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>Unable to load the task file &apos;%1&apos;.</source>
        <translation>Die Aufgabendatei &apos;%1&apos; kann nicht geladen werden.</translation>
    </message>
    <message>
        <source>There is not errors to fix.</source>
        <translation>Es gibt keine Fehler zu beheben.</translation>
    </message>
    <message>
        <source>Copying files</source>
        <translation>Dateien werden kopiert</translation>
    </message>
    <message>
        <source>Moving files</source>
        <translation>Dateien werden verschoben</translation>
    </message>
    <message>
        <source>Verifying files</source>
        <translation>Dateien werden geprüft</translation>
    </message>
    <message>
        <source>Stopping... (press Ctrl-C again to quit at once)</source>
        <translation>Wird angehalten... (erneut Strg-C drücken, um sofort zu beenden)</translation>
    </message>
    <message>
        <source>, large file %1%</source>
        <translation>, große Datei %1%</translation>
    </message>
    <message>
        <source>The file list was not complete, so no task was saved: run the same command again to finish.</source>
        <translation>Die Dateiliste war nicht vollständig, daher wurde keine Aufgabe gespeichert: Führen Sie denselben Befehl erneut aus, um den Lauf abzuschließen.</translation>
    </message>
    <message>
        <source>Unable to save the stopped task in &apos;%1&apos;.</source>
        <translation>Die angehaltene Aufgabe kann nicht in &apos;%1&apos; gespeichert werden.</translation>
    </message>
    <message>
        <source>Unable to update the task file &apos;%1&apos;.</source>
        <translation>Die Aufgabendatei &apos;%1&apos; kann nicht aktualisiert werden.</translation>
    </message>
    <message>
        <source>Unable to save the errors in &apos;%1&apos;.</source>
        <translation>Die Fehler können nicht in &apos;%1&apos; gespeichert werden.</translation>
    </message>
    <message>
        <source>Unable to save the task file &apos;%1&apos;.</source>
        <translation>Die Aufgabendatei &apos;%1&apos; kann nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>The destination &apos;%1&apos; does not exist: there is nothing to verify.</source>
        <translation>Das Ziel „%1“ existiert nicht: Es gibt nichts zu prüfen.</translation>
    </message>
    <message>
        <source>The checksum list &apos;%1&apos; cannot be inside the source.</source>
        <translation>Die Prüfsummenliste „%1“ kann nicht in der Quelle liegen.</translation>
    </message>
    <message>
        <source>The checksum list &apos;%1&apos; cannot be written.</source>
        <translation>Die Prüfsummenliste „%1“ kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Checksum list written: %1</source>
        <translation>Prüfsummenliste geschrieben: %1</translation>
    </message>
    <message>
        <source>To resume: %1</source>
        <extracomment>%1 is the command that resumes the run; its words stay.</extracomment>
        <translation>Zum Fortsetzen: %1</translation>
    </message>
    <message>
        <source>To copy the errors again: %1</source>
        <extracomment>%1 is the command that copies the errors again; its words stay.</extracomment>
        <translation>Zum erneuten Kopieren der Fehler: %1</translation>
    </message>
    <message>
        <source>Checking the destination (--force skips it)...</source>
        <translation>Das Ziel wird geprüft (--force überspringt das)...</translation>
    </message>
    <message>
        <source>Paused, holding open files and their place. Continue with fg (or kill -CONT %1).</source>
        <translation>Angehalten; offene Dateien und ihre Stelle bleiben. Weiter mit fg (oder kill -CONT %1).</translation>
    </message>
    <message>
        <source>Continuing.</source>
        <translation>Es geht weiter.</translation>
    </message>
</context>
<context>
    <name>CommitFilesJob</name>
    <message>
        <source>unable to copy file</source>
        <translation>Datei kann nicht kopiert werden</translation>
    </message>
    <message>
        <source>Unable to remove existing file</source>
        <translation>Vorhandene Datei kann nicht entfernt werden</translation>
    </message>
    <message>
        <source>file cannot be overwritten</source>
        <translation>Datei kann nicht überschrieben werden</translation>
    </message>
    <message>
        <source>existing file is removed</source>
        <translation>Vorhandene Datei wurde entfernt</translation>
    </message>
    <message>
        <source>unable to write destination file to disk</source>
        <translation>Zieldatei kann nicht auf den Datenträger geschrieben werden</translation>
    </message>
    <message>
        <source>source and destination are the same file</source>
        <translation>Quelle und Ziel sind dieselbe Datei</translation>
    </message>
    <message>
        <source>source file changed during the copy</source>
        <translation>Quelldatei wurde während des Kopierens geändert</translation>
    </message>
    <message>
        <source>File moved</source>
        <translation>Datei verschoben</translation>
    </message>
    <message>
        <source>Unable to delete source file</source>
        <translation>Quelldatei kann nicht gelöscht werden</translation>
    </message>
</context>
<context>
    <name>ConflictListModel</name>
    <message>
        <source>Overwrite</source>
        <translation>Überschreiben</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>overwritten</source>
        <translation>überschrieben</translation>
    </message>
    <message>
        <source>renamed</source>
        <translation>umbenannt</translation>
    </message>
    <message>
        <source>skipped: newer there</source>
        <translation>übersprungen: dort neuer</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>übersprungen</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>By the rule</source>
        <translation>Nach der Regel</translation>
    </message>
    <message>
        <source>Decision</source>
        <translation>Entscheidung</translation>
    </message>
</context>
<context>
    <name>CopyFileObject</name>
    <message>
        <source>source file does not exist</source>
        <translation>Quelldatei existiert nicht</translation>
    </message>
    <message>
        <source>source file is not readable</source>
        <translation>Quelldatei ist nicht lesbar</translation>
    </message>
    <message>
        <source>source file is not a regular file</source>
        <translation>Quelldatei ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>source and destination are the same file</source>
        <translation>Quelle und Ziel sind dieselbe Datei</translation>
    </message>
    <message>
        <source>the destination holds this name in another case: %1</source>
        <translation>Das Ziel enthält diesen Namen in anderer Groß-/Kleinschreibung: %1</translation>
    </message>
    <message>
        <source>Destination file does not exist</source>
        <translation>Zieldatei existiert nicht</translation>
    </message>
    <message>
        <source>unable to copy symbolic link</source>
        <translation>Symbolische Verknüpfung kann nicht kopiert werden</translation>
    </message>
    <message>
        <source>Auto renamed</source>
        <translation>Automatisch umbenannt</translation>
    </message>
    <message>
        <source>Unable to rename destination file</source>
        <translation>Zieldatei kann nicht umbenannt werden</translation>
    </message>
    <message>
        <source>file with older modification date exists</source>
        <translation>Eine Datei mit älterem Änderungsdatum existiert</translation>
    </message>
    <message>
        <source>file with newer modification date exists</source>
        <translation>Eine Datei mit neuerem Änderungsdatum existiert</translation>
    </message>
    <message>
        <source>file with different size exists</source>
        <translation>Eine Datei mit anderer Größe existiert</translation>
    </message>
    <message>
        <source>symbolic link target is different</source>
        <translation>Das Ziel der symbolischen Verknüpfung ist ein anderes</translation>
    </message>
    <message>
        <source>Unable to remove existing file</source>
        <translation>Vorhandene Datei kann nicht entfernt werden</translation>
    </message>
    <message>
        <source>file cannot be overwritten</source>
        <translation>Datei kann nicht überschrieben werden</translation>
    </message>
    <message>
        <source>different file exists</source>
        <translation>Eine andere Datei existiert</translation>
    </message>
    <message>
        <source>unable to copy file</source>
        <translation>Datei kann nicht kopiert werden</translation>
    </message>
    <message>
        <source>existing file is removed</source>
        <translation>Vorhandene Datei wurde entfernt</translation>
    </message>
    <message>
        <source>unable to read source file</source>
        <translation>Quelldatei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>unable to open destination file</source>
        <translation>Zieldatei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>unable to complete reading from source file</source>
        <translation>Quelldatei kann nicht vollständig gelesen werden</translation>
    </message>
    <message>
        <source>unable to write to destination file</source>
        <translation>In die Zieldatei kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>unable to complete the copy</source>
        <translation>Kopie kann nicht abgeschlossen werden</translation>
    </message>
    <message>
        <source>unable to sync last modification date</source>
        <translation>Letztes Änderungsdatum kann nicht übernommen werden</translation>
    </message>
    <message>
        <source>unable to sync creation date</source>
        <translation>Erstellungsdatum kann nicht übernommen werden</translation>
    </message>
    <message>
        <source>creation date is newer than modification date on source file</source>
        <translation>Das Erstellungsdatum der Quelldatei ist neuer als ihr Änderungsdatum</translation>
    </message>
    <message>
        <source>unable to sync destination file</source>
        <translation>Zieldatei kann nicht abgeglichen werden</translation>
    </message>
    <message>
        <source>unable to compare with the existing file</source>
        <translation>Vergleich mit der vorhandenen Datei nicht möglich</translation>
    </message>
    <message>
        <source>unable to write destination file to disk</source>
        <translation>Zieldatei kann nicht auf den Datenträger geschrieben werden</translation>
    </message>
    <message>
        <source>File moved</source>
        <translation>Datei verschoben</translation>
    </message>
    <message>
        <source>Unable to delete source file</source>
        <translation>Quelldatei kann nicht gelöscht werden</translation>
    </message>
    <message>
        <source>source file changed during the copy</source>
        <translation>Quelldatei wurde während des Kopierens geändert</translation>
    </message>
    <message>
        <source>file size error</source>
        <translation>Fehler in der Dateigröße</translation>
    </message>
    <message>
        <source>copy verified</source>
        <translation>Kopie geprüft</translation>
    </message>
    <message>
        <source>the destination holds a folder of this name</source>
        <translation>das Ziel enthält einen Ordner dieses Namens</translation>
    </message>
    <message>
        <source>source file changed during the move</source>
        <translation>Quelldatei wurde während des Verschiebens geändert</translation>
    </message>
    <message>
        <source>the destination holds a symbolic link, not a copy of the file</source>
        <translation>das Ziel enthält eine symbolische Verknüpfung, keine Kopie der Datei</translation>
    </message>
    <message>
        <source>hard link to %1</source>
        <translation>fester Link auf %1</translation>
    </message>
    <message>
        <source>the copy differed from its source and was copied again</source>
        <translation>die Kopie unterschied sich von ihrer Quelle und wurde erneut kopiert</translation>
    </message>
    <message>
        <source>copy differs from its source after two attempts</source>
        <translation>Kopie unterscheidet sich nach zwei Versuchen von ihrer Quelle</translation>
    </message>
    <message>
        <source>unable to read the copy back</source>
        <translation>Kopie kann nicht zurückgelesen werden</translation>
    </message>
    <message>
        <source>file with the same content exists</source>
        <translation>Datei mit gleichem Inhalt vorhanden</translation>
    </message>
</context>
<context>
    <name>CopyFolderObject</name>
    <message>
        <source>the destination holds a file of this name</source>
        <translation>das Ziel enthält eine Datei dieses Namens</translation>
    </message>
    <message>
        <source>source folder does not exist</source>
        <translation>Quellordner existiert nicht</translation>
    </message>
    <message>
        <source>source folder is not readable</source>
        <translation>Quellordner ist nicht lesbar</translation>
    </message>
    <message>
        <source>Destination folder does not exist</source>
        <translation>Zielordner existiert nicht</translation>
    </message>
    <message>
        <source>unable to create destination folder</source>
        <translation>Zielordner kann nicht erstellt werden</translation>
    </message>
</context>
<context>
    <name>CopyJob</name>
    <message>
        <source>internal error</source>
        <translation>Interner Fehler</translation>
    </message>
</context>
<context>
    <name>CopyObject</name>
    <message>
        <source>unable to keep the owner</source>
        <translation>Eigentümer kann nicht beibehalten werden</translation>
    </message>
    <message>
        <source>unable to keep the group</source>
        <translation>Gruppe kann nicht beibehalten werden</translation>
    </message>
    <message>
        <source>unable to keep extended attributes or ACLs</source>
        <translation>Erweiterte Attribute oder ACLs können nicht beibehalten werden</translation>
    </message>
    <message>
        <source>destination file system keeps no extended attributes or ACLs</source>
        <translation>Das Dateisystem des Ziels speichert keine erweiterten Attribute oder ACLs</translation>
    </message>
    <message>
        <source>the destination holds a symbolic link where a folder is needed: %1</source>
        <translation>das Ziel enthält eine symbolische Verknüpfung, wo ein Ordner nötig ist: %1</translation>
    </message>
</context>
<context>
    <name>CopyTask</name>
    <message>
        <source>Unable to copy an item on itself.</source>
        <translation>Ein Element kann nicht auf sich selbst kopiert werden.</translation>
    </message>
    <message>
        <source>file list is not completed</source>
        <translation>Dateiliste ist nicht vollständig</translation>
    </message>
    <message>
        <source>unable to get file list</source>
        <translation>Dateiliste kann nicht ermittelt werden</translation>
    </message>
    <message>
        <source>List is built with %1 folders and %2 files</source>
        <translation>Liste erstellt: %1 Ordner und %2 Dateien</translation>
    </message>
    <message>
        <source>Task is stopped after %1</source>
        <translation>Aufgabe nach %1 angehalten</translation>
    </message>
    <message>
        <source>Task completed in %1</source>
        <translation>Aufgabe in %1 abgeschlossen</translation>
    </message>
    <message>
        <source>unable to write the copied data to the storage device</source>
        <translation>Die kopierten Daten können nicht auf das Speichergerät geschrieben werden</translation>
    </message>
    <message>
        <source>Please wait while stopping the process</source>
        <translation>Bitte warten, der Vorgang wird angehalten</translation>
    </message>
    <message>
        <source>storage is full</source>
        <translation>Speicher ist voll</translation>
    </message>
    <message>
        <source>Starting</source>
        <translation>Starte</translation>
    </message>
    <message>
        <source>unable to create folder</source>
        <translation>Ordner kann nicht erstellt werden</translation>
    </message>
    <message>
        <source>unable to copy file</source>
        <translation>Datei kann nicht kopiert werden</translation>
    </message>
    <message>
        <source>file too large to check</source>
        <translation>Datei zu groß für die Prüfung</translation>
    </message>
    <message>
        <source>The task file asks to run the program %1, which is not the external copy program of your settings: nothing was run.</source>
        <translation>Die Aufgabendatei verlangt das Programm %1, das nicht das externe Kopierprogramm Ihrer Einstellungen ist: Es wurde nichts ausgeführt.</translation>
    </message>
    <message>
        <source>The destination &apos;%1&apos; is no longer on the drive mounted at &apos;%2&apos; (is the drive mounted?).</source>
        <translation>Das Ziel „%1“ liegt nicht mehr auf dem Laufwerk, das unter „%2“ eingehängt war (ist das Laufwerk eingehängt?).</translation>
    </message>
    <message>
        <source>The destination &apos;%1&apos; is not a folder.</source>
        <translation>Das Ziel &apos;%1&apos; ist kein Ordner.</translation>
    </message>
    <message>
        <source>The checksum list %1 is not written: the run was stopped</source>
        <translation>Die Prüfsummenliste %1 wird nicht geschrieben: der Lauf wurde angehalten</translation>
    </message>
    <message>
        <source>Files new, changed or gone since the earlier run: %1</source>
        <translation>Seit dem früheren Lauf neue, geänderte oder entfernte Dateien: %1</translation>
    </message>
    <message>
        <source>the copy made before the stop is gone, and its source was moved</source>
        <translation>die vor dem Anhalten erstellte Kopie fehlt, und ihre Quelle wurde verschoben</translation>
    </message>
</context>
<context>
    <name>DesktopActions</name>
    <message>
        <source>Select source folder</source>
        <translation>Quellordner auswählen</translation>
    </message>
    <message>
        <source>Select source file</source>
        <translation>Quelldatei auswählen</translation>
    </message>
    <message>
        <source>Select destination folder</source>
        <translation>Zielordner auswählen</translation>
    </message>
    <message>
        <source>does not exist</source>
        <translation>existiert nicht</translation>
    </message>
    <message>
        <source>Unable to open %1</source>
        <translation>%1 kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>v %1</source>
        <translation>v %1</translation>
    </message>
    <message>
        <source>for %1</source>
        <translation>für %1</translation>
    </message>
    <message>
        <source>Copies, moves and verifies your files.</source>
        <translation>Kopiert, verschiebt und prüft Ihre Dateien.</translation>
    </message>
    <message>
        <source>© Orvanesoft</source>
        <translation>© Orvanesoft</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Unable to open new window of %1.</source>
        <translation>Neues Fenster von %1 kann nicht geöffnet werden.</translation>
    </message>
</context>
<context>
    <name>DestinationAnchor</name>
    <message>
        <source>the destination&apos;s drive is no longer mounted</source>
        <translation>das Laufwerk des Ziels ist nicht mehr eingehängt</translation>
    </message>
</context>
<context>
    <name>ExternalCopyJob</name>
    <message>
        <source>the program left no copy of the file</source>
        <translation>das Programm hat keine Kopie der Datei hinterlassen</translation>
    </message>
    <message>
        <source>different file exists</source>
        <translation>Eine andere Datei existiert</translation>
    </message>
    <message>
        <source>File moved</source>
        <translation>Datei verschoben</translation>
    </message>
    <message>
        <source>Unable to delete source file</source>
        <translation>Quelldatei kann nicht gelöscht werden</translation>
    </message>
    <message>
        <source>source file changed during the move</source>
        <translation>Quelldatei wurde während des Verschiebens geändert</translation>
    </message>
    <message>
        <source>source and destination are the same file</source>
        <translation>Quelle und Ziel sind dieselbe Datei</translation>
    </message>
    <message>
        <source>the destination holds a symbolic link in this entry&apos;s place</source>
        <translation>das Ziel enthält an Stelle dieses Eintrags eine symbolische Verknüpfung</translation>
    </message>
</context>
<context>
    <name>ExtraEntries</name>
    <message>
        <source>the destination holds a folder the source does not</source>
        <translation>das Ziel enthält einen Ordner, den die Quelle nicht enthält</translation>
    </message>
    <message>
        <source>the destination holds a file the source does not</source>
        <translation>das Ziel enthält eine Datei, die die Quelle nicht enthält</translation>
    </message>
</context>
<context>
    <name>FileListModel</name>
    <message>
        <source>folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>link</source>
        <translation>Verknüpfung</translation>
    </message>
    <message>
        <source>Right click to open menu</source>
        <translation>Rechtsklick öffnet das Menü</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>FileSystemUtils</name>
    <message>
        <source>No permission.</source>
        <translation>Keine Berechtigung.</translation>
    </message>
    <message>
        <source>It is not there (any more).</source>
        <translation>Es ist (nicht mehr) vorhanden.</translation>
    </message>
    <message>
        <source>The disk is full.</source>
        <translation>Der Datenträger ist voll.</translation>
    </message>
    <message>
        <source>The disk space allowed to this user is used up.</source>
        <translation>Der diesem Benutzer erlaubte Speicherplatz ist aufgebraucht.</translation>
    </message>
    <message>
        <source>The disk can only be read.</source>
        <translation>Der Datenträger kann nur gelesen werden.</translation>
    </message>
    <message>
        <source>The device failed to read or write.</source>
        <translation>Das Gerät konnte nicht lesen oder schreiben.</translation>
    </message>
    <message>
        <source>The name is too long for this disk.</source>
        <translation>Der Name ist für diesen Datenträger zu lang.</translation>
    </message>
    <message>
        <source>Something of that name is already there.</source>
        <translation>Etwas mit diesem Namen ist bereits vorhanden.</translation>
    </message>
    <message>
        <source>A part of the path is not a folder.</source>
        <translation>Ein Teil des Pfads ist kein Ordner.</translation>
    </message>
    <message>
        <source>It is a folder.</source>
        <translation>Es ist ein Ordner.</translation>
    </message>
    <message>
        <source>A link stands where none may be.</source>
        <translation>Eine Verknüpfung steht, wo keine sein darf.</translation>
    </message>
    <message>
        <source>It is in use.</source>
        <translation>Es wird gerade verwendet.</translation>
    </message>
    <message>
        <source>The file is too large for this disk.</source>
        <translation>Die Datei ist für diesen Datenträger zu groß.</translation>
    </message>
    <message>
        <source>The disk does not accept this name or action.</source>
        <translation>Der Datenträger nimmt diesen Namen oder Vorgang nicht an.</translation>
    </message>
    <message>
        <source>The drive cannot be reached.</source>
        <translation>Das Laufwerk ist nicht erreichbar.</translation>
    </message>
    <message>
        <source>Too many files are open.</source>
        <translation>Zu viele Dateien sind geöffnet.</translation>
    </message>
    <message>
        <source>Not enough memory.</source>
        <translation>Nicht genug Arbeitsspeicher.</translation>
    </message>
</context>
<context>
    <name>GuiLog</name>
    <message>
        <source>Find text</source>
        <translation>Text suchen</translation>
    </message>
    <message>
        <source>%1 not found.</source>
        <translation>%1 nicht gefunden.</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Find next</source>
        <translation>Weitersuchen</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Alles auswählen</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
</context>
<context>
    <name>GuiLogWidget</name>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Open log file...</source>
        <translation>Protokolldatei öffnen...</translation>
    </message>
</context>
<context>
    <name>GuiMainWindow</name>
    <message>
        <source>Brindle</source>
        <translation>Brindle</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Source path</source>
        <translation>Quellpfad</translation>
    </message>
    <message>
        <source>Select source folder</source>
        <translation>Quellordner auswählen</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Destination path</source>
        <translation>Zielpfad</translation>
    </message>
    <message>
        <source>Select destination folder</source>
        <translation>Zielordner auswählen</translation>
    </message>
    <message>
        <source>Destination mode</source>
        <translation>Zielmodus</translation>
    </message>
    <message>
        <source>Copy source files to destination replicating subfolders</source>
        <translation>Quelldateien mit ihren Unterordnern ins Ziel kopieren</translation>
    </message>
    <message>
        <source>Copy source files to destination without replicating subfolders</source>
        <translation>Quelldateien ohne Unterordner direkt ins Ziel kopieren</translation>
    </message>
    <message>
        <source>Copy options</source>
        <translation>Kopieroptionen</translation>
    </message>
    <message>
        <source>Copy all the files also in the subfolders</source>
        <translation>Auch alle Dateien in den Unterordnern kopieren</translation>
    </message>
    <message>
        <source>Copy also the hidden files</source>
        <translation>Auch die versteckten Dateien kopieren</translation>
    </message>
    <message>
        <source>Copy also the links</source>
        <translation>Auch die Verknüpfungen kopieren</translation>
    </message>
    <message>
        <source>If file exists</source>
        <translation>Wenn die Datei existiert</translation>
    </message>
    <message>
        <source>If the destination file exists select the option</source>
        <translation>Wählen Sie, was geschehen soll, wenn die Zieldatei existiert</translation>
    </message>
    <message>
        <source>Filters</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Copy all files</source>
        <translation>Alle Dateien kopieren</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Skip file filters</source>
        <translation>Ausschlussfilter</translation>
    </message>
    <message>
        <source>Skip errors on</source>
        <translation>Fehler übergehen bei</translation>
    </message>
    <message>
        <source>None of the files</source>
        <translation>Keine der Dateien</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Bericht</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Unprocessed</source>
        <translation>Unbearbeitet</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Skipped</source>
        <translation>Übersprungen</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>Checked</source>
        <translation>Geprüft</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Portable</source>
        <translation>Portabel</translation>
    </message>
    <message>
        <source>Recap</source>
        <translation>Übersicht</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Do you really want to quit %1?</source>
        <translation>Möchten Sie %1 wirklich beenden?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>?</source>
        <translation>?</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Native</source>
        <translation>Nativ</translation>
    </message>
    <message>
        <source>Simple</source>
        <translation>Einfach</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Open source folder</source>
        <translation>Quellordner öffnen</translation>
    </message>
    <message>
        <source>Open destination folder</source>
        <translation>Zielordner öffnen</translation>
    </message>
    <message>
        <source>Fr&amp;om</source>
        <translation>&amp;Von</translation>
    </message>
    <message>
        <source>&amp;To</source>
        <translation>&amp;Nach</translation>
    </message>
    <message>
        <source>&amp;Normal</source>
        <translation>Nor&amp;mal</translation>
    </message>
    <message>
        <source>Co&amp;llate</source>
        <translation>&amp;Zusammenführen</translation>
    </message>
    <message>
        <source>Rec&amp;ursive</source>
        <translation>&amp;Rekursiv</translation>
    </message>
    <message>
        <source>&amp;Hidden files</source>
        <translation>Versteck&amp;te Dateien</translation>
    </message>
    <message>
        <source>Lin&amp;ks</source>
        <translation>Verkn&amp;üpfungen</translation>
    </message>
    <message>
        <source>&amp;Empty folders</source>
        <translation>Leere &amp;Ordner</translation>
    </message>
    <message>
        <source>Overwrite alwa&amp;ys</source>
        <translation>&amp;Immer überschreiben</translation>
    </message>
    <message>
        <source>No over&amp;write</source>
        <translation>Nie über&amp;schreiben</translation>
    </message>
    <message>
        <source>Overwrite ol&amp;der</source>
        <translation>Ält&amp;ere überschreiben</translation>
    </message>
    <message>
        <source>&amp;Auto rename</source>
        <translation>Auto-Um&amp;benennung</translation>
    </message>
    <message>
        <source>Overwrite d&amp;ifferent</source>
        <translation>Andere übers&amp;chreiben</translation>
    </message>
    <message>
        <source>Copy file filter&amp;s</source>
        <translation>Einschl&amp;ussfilter</translation>
    </message>
    <message>
        <source>Clear the copy file filters</source>
        <translation>Einschlussfilter leeren</translation>
    </message>
    <message>
        <source>Clear the skip file filters</source>
        <translation>Ausschlussfilter leeren</translation>
    </message>
    <message>
        <source>Clear the files to skip errors on</source>
        <translation>Dateien leeren, bei denen Fehler übergangen werden</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Fi&amp;x errors</source>
        <translation>&amp;Fehler beheben</translation>
    </message>
    <message>
        <source>&amp;Verify</source>
        <translation>&amp;Prüfen</translation>
    </message>
    <message>
        <source>&amp;Move</source>
        <translation>Versc&amp;hieben</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>&amp;Apply</source>
        <translation>&amp;Anwenden</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open new window</source>
        <translation>&amp;Neues Fenster öffnen</translation>
    </message>
    <message>
        <source>&amp;New task</source>
        <translation>Neue &amp;Aufgabe</translation>
    </message>
    <message>
        <source>Select single &amp;file to copy</source>
        <translation>Einzelne &amp;Datei zum Kopieren auswählen</translation>
    </message>
    <message>
        <source>&amp;Load task</source>
        <translation>Aufgabe &amp;laden</translation>
    </message>
    <message>
        <source>&amp;Save task</source>
        <translation>Aufgabe &amp;speichern</translation>
    </message>
    <message>
        <source>Open &amp;data folder</source>
        <translation>Daten&amp;ordner öffnen</translation>
    </message>
    <message>
        <source>&amp;Preferences</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Recent paths</source>
        <translation>&amp;Letzte Pfade</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>Show &amp;Qt info</source>
        <translation>&amp;Qt-Informationen anzeigen</translation>
    </message>
    <message>
        <source>Open &amp;website</source>
        <translation>&amp;Webseite öffnen</translation>
    </message>
    <message>
        <source>Open &amp;help online</source>
        <translation>Online-&amp;Hilfe öffnen</translation>
    </message>
    <message>
        <source>&amp;Donate</source>
        <translation>&amp;Spenden</translation>
    </message>
    <message>
        <source>Verify after copyin&amp;g</source>
        <translation>Nach dem Kopieren &amp;gegenprüfen</translation>
    </message>
    <message>
        <source>Read each copy back from the device and compare it with its source; a copy that differs is made once more, and a move removes a source only after its copy matched</source>
        <translation>Jede Kopie vom Gerät zurücklesen und mit ihrer Quelle vergleichen; eine abweichende Kopie wird noch einmal angelegt, und ein Verschieben entfernt eine Quelle erst, wenn ihre Kopie übereinstimmt</translation>
    </message>
    <message>
        <source>Overwrite if the &amp;bytes differ</source>
        <translation>Überschreiben, wenn die &amp;Bytes abweichen</translation>
    </message>
    <message>
        <source>Replace a file of another size at once, and one of the same size only when its bytes differ from the source&apos;s</source>
        <translation>Eine Datei anderer Größe sofort ersetzen, eine gleich große nur, wenn ihre Bytes von denen der Quelle abweichen</translation>
    </message>
    <message>
        <source>Check manifest</source>
        <translation>Prüfsummenliste prüfen</translation>
    </message>
    <message>
        <source>Sto&amp;p</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Patterns separated by commas: *.jpg matches a name in any folder, photos/*.jpg the end of a path below the source, photos/ a folder and all in it; \, is a comma within a pattern.</source>
        <translation>Muster, durch Kommas getrennt: *.jpg passt zu einem Namen in jedem Ordner, photos/*.jpg zum Ende eines Pfads unterhalb der Quelle, photos/ zu einem Ordner samt Inhalt; \, ist ein Komma innerhalb eines Musters.</translation>
    </message>
    <message>
        <source>&amp;Resume stopped run</source>
        <translation>Angehaltenen Lauf &amp;fortsetzen</translation>
    </message>
    <message>
        <source>Check first</source>
        <translation>Erst prüfen</translation>
    </message>
    <message>
        <source>What the last check found at the destination</source>
        <translation>Was die letzte Prüfung am Ziel gefunden hat</translation>
    </message>
    <message>
        <source>Problems</source>
        <translation>Probleme</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Shows what a copy would do, and what the destination would refuse, before anything is written (a move or a verify: File menu)</source>
        <translation>Zeigt, was eine Kopie täte und was das Ziel ablehnen würde, bevor etwas geschrieben wird (Verschieben oder Gegenprüfen: Menü Datei)</translation>
    </message>
    <message>
        <source>Check a &amp;move first</source>
        <translation>&amp;Verschieben erst prüfen</translation>
    </message>
    <message>
        <source>Check a &amp;verify first</source>
        <translation>&amp;Gegenprüfen erst prüfen</translation>
    </message>
</context>
<context>
    <name>GuiSettingsDialog</name>
    <message>
        <source>Advanced options</source>
        <translation>Erweiterte Optionen</translation>
    </message>
    <message>
        <source>*</source>
        <translation>*</translation>
    </message>
    <message>
        <source>Misc</source>
        <translation>Sonstiges</translation>
    </message>
    <message>
        <source>Select your preferred language file</source>
        <translation>Wählen Sie die gewünschte Sprachdatei</translation>
    </message>
    <message>
        <source>Select language file</source>
        <translation>Sprachdatei auswählen</translation>
    </message>
    <message>
        <source>Reset language</source>
        <translation>Sprache zurücksetzen</translation>
    </message>
    <message>
        <source>Select log file</source>
        <translation>Protokolldatei auswählen</translation>
    </message>
    <message>
        <source>Restart application to apply changes</source>
        <translation>Programm neu starten, um die Änderungen zu übernehmen</translation>
    </message>
    <message>
        <source>Threads and program</source>
        <translation>Threads und Programm</translation>
    </message>
    <message>
        <source>Select program</source>
        <translation>Programm auswählen</translation>
    </message>
    <message>
        <source>Restore default settings</source>
        <translation>Standardeinstellungen wiederherstellen</translation>
    </message>
    <message>
        <source>Show settings folder</source>
        <translation>Einstellungsordner anzeigen</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>%1 - %2</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>(%1 %2 - %3 %4)</source>
        <translation>(%1 %2 - %3 %4)</translation>
    </message>
    <message>
        <source>default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>ideal</source>
        <translation>ideal</translation>
    </message>
    <message>
        <source>(0 = %1)</source>
        <translation>(0 = %1)</translation>
    </message>
    <message>
        <source>never skip</source>
        <translation>nie überspringen</translation>
    </message>
    <message>
        <source>(%1 = %2)</source>
        <translation>(%1 = %2)</translation>
    </message>
    <message>
        <source>default method</source>
        <translation>Standardmethode</translation>
    </message>
    <message>
        <source>(%1)</source>
        <translation>(%1)</translation>
    </message>
    <message>
        <source>long waiting time for pause</source>
        <translation>lange Wartezeit beim Anhalten</translation>
    </message>
    <message>
        <source>Select the external copy program to use.</source>
        <translation>Wählen Sie das zu verwendende externe Kopierprogramm.</translation>
    </message>
    <message>
        <source>%1 (*.txt *.log)</source>
        <translation>%1 (*.txt *.log)</translation>
    </message>
    <message>
        <source>Log files</source>
        <translation>Protokolldateien</translation>
    </message>
    <message>
        <source>does not exist</source>
        <translation>existiert nicht</translation>
    </message>
    <message>
        <source>Unable to open %1</source>
        <translation>%1 kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>%1 (*.qm)</source>
        <translation>%1 (*.qm)</translation>
    </message>
    <message>
        <source>Language files</source>
        <translation>Sprachdateien</translation>
    </message>
    <message>
        <source>&amp;Method to use for file copy</source>
        <translation>&amp;Methode zum Kopieren der Dateien</translation>
    </message>
    <message>
        <source>&amp;Skip integrity check for file size more than</source>
        <translation>&amp;Integritätsprüfung überspringen für Dateien größer als</translation>
    </message>
    <message>
        <source>Add to &amp;report skipped files from filters</source>
        <translation>Durch Filter übersprungene Dateien in den &amp;Bericht aufnehmen</translation>
    </message>
    <message>
        <source>Remo&amp;ve &quot;read only&quot; attribute</source>
        <translation>Attribut „schreibgeschützt“ ent&amp;fernen</translation>
    </message>
    <message>
        <source>Skip &amp;errors in creation and modification dates</source>
        <translation>Fehler bei Erstellungs- und Änderungs&amp;datum übergehen</translation>
    </message>
    <message>
        <source>Al&amp;ways save copy errors in a file</source>
        <translation>Kopierfehler immer in einer Datei &amp;speichern</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>Sp&amp;rache</translation>
    </message>
    <message>
        <source>Lo&amp;g</source>
        <translation>&amp;Protokoll</translation>
    </message>
    <message>
        <source>Log file</source>
        <translation>Protokolldatei</translation>
    </message>
    <message>
        <source>Mi&amp;nimum size</source>
        <translation>Mi&amp;ndestgröße</translation>
    </message>
    <message>
        <source>Ma&amp;ximum size</source>
        <translation>&amp;Höchstgröße</translation>
    </message>
    <message>
        <source>Allow m&amp;ultiple instances of Brindle</source>
        <translation>Mehrere &amp;Instanzen von Brindle erlauben</translation>
    </message>
    <message>
        <source>C&amp;heck for new version at startup</source>
        <translation>Beim Start nach einer neuen &amp;Version suchen</translation>
    </message>
    <message>
        <source>&amp;Threads to use in copy and check files</source>
        <translation>Th&amp;reads zum Kopieren und Prüfen der Dateien</translation>
    </message>
    <message>
        <source>&amp;Use external copy program</source>
        <translation>&amp;Externes Kopierprogramm verwenden</translation>
    </message>
    <message>
        <source>&amp;Program</source>
        <translation>Pro&amp;gramm</translation>
    </message>
    <message>
        <source>&amp;Arguments</source>
        <translation>Arg&amp;umente</translation>
    </message>
    <message>
        <source>Do not create a &amp;list of files (just add to arguments source and destination folder)</source>
        <translation>Keine Datei&amp;liste erstellen (nur Quell- und Zielordner an die Argumente anhängen)</translation>
    </message>
    <message>
        <source>&amp;Default</source>
        <translation>S&amp;tandard</translation>
    </message>
    <message>
        <source>Open &amp;folder</source>
        <translation>&amp;Ordner öffnen</translation>
    </message>
    <message>
        <source>&amp;Ok</source>
        <translation>O&amp;K</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Checksum &amp;list of verified files (empty: none):</source>
        <translation>Prüfsummen&amp;liste der geprüften Dateien (leer: keine):</translation>
    </message>
    <message>
        <source>A copy or move verified after copying, and a verify, write the digest of each file they verified to this file, in the format of sha256sum</source>
        <translation>Ein nach dem Kopieren gegengeprüftes Kopieren oder Verschieben sowie ein Prüflauf schreiben die Prüfsumme jeder geprüften Datei in diese Datei, im Format von sha256sum</translation>
    </message>
    <message>
        <source>Select checksum list</source>
        <translation>Prüfsummenliste auswählen</translation>
    </message>
    <message>
        <source>…</source>
        <translation>…</translation>
    </message>
    <message>
        <source>%1 (*)</source>
        <translation>%1 (*)</translation>
    </message>
    <message>
        <source>Checksum lists</source>
        <translation>Prüfsummenlisten</translation>
    </message>
    <message>
        <source>Di&amp;gest of verified copies and verifies:</source>
        <translation>Prüfsu&amp;mme verifizierter Kopien und Prüfungen:</translation>
    </message>
    <message>
        <source>SHA-256 is the common standard; XXH3-128 finds any accidental change and is many times faster; the checksum list takes the format of the tool named</source>
        <translation>SHA-256 ist der übliche Standard; XXH3-128 findet jede zufällige Änderung und ist um ein Vielfaches schneller; die Prüfsummenliste hat das Format des genannten Werkzeugs</translation>
    </message>
    <message>
        <source>SHA-256 (sha256sum)</source>
        <translation>SHA-256 (sha256sum)</translation>
    </message>
    <message>
        <source>BLAKE2b-512 (b2sum)</source>
        <translation>BLAKE2b-512 (b2sum)</translation>
    </message>
    <message>
        <source>XXH3-128, the fastest (xxhsum -H2)</source>
        <translation>XXH3-128, am schnellsten (xxhsum -H2)</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> MB</translation>
    </message>
    <message>
        <source>The default settings are filled in: Ok keeps them, Cancel keeps your own.</source>
        <translation>Die Standardeinstellungen sind eingetragen: OK übernimmt sie, Abbrechen behält Ihre eigenen.</translation>
    </message>
</context>
<context>
    <name>MainWindowRules</name>
    <message>
        <source>move (each source is deleted once copied)</source>
        <translation>verschieben (jede Quelle wird nach dem Kopieren gelöscht)</translation>
    </message>
    <message>
        <source>verify (nothing is written)</source>
        <translation>prüfen (nichts wird geschrieben)</translation>
    </message>
    <message>
        <source>copy the items in error again</source>
        <translation>die fehlerhaften Einträge erneut kopieren</translation>
    </message>
    <message>
        <source>copy</source>
        <translation>kopieren</translation>
    </message>
    <message>
        <source>never replaced</source>
        <translation>werden nie ersetzt</translation>
    </message>
    <message>
        <source>always replaced</source>
        <translation>werden immer ersetzt</translation>
    </message>
    <message>
        <source>kept, the copy gets a new name</source>
        <translation>bleiben erhalten, die Kopie erhält einen neuen Namen</translation>
    </message>
    <message>
        <source>replaced when their date or size differs</source>
        <translation>werden ersetzt, wenn Datum oder Größe abweichen</translation>
    </message>
    <message>
        <source>replaced when their bytes differ</source>
        <translation>werden ersetzt, wenn ihre Bytes abweichen</translation>
    </message>
    <message>
        <source>replaced when older than the source</source>
        <translation>werden ersetzt, wenn sie älter als die Quelle sind</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>Mode: %1</source>
        <translation>Modus: %1</translation>
    </message>
    <message>
        <source>Existing files in the destination: %1</source>
        <translation>Vorhandene Dateien im Ziel: %1</translation>
    </message>
    <message>
        <source>Subfolders: %1</source>
        <translation>Unterordner: %1</translation>
    </message>
    <message>
        <source>their files are copied into the destination itself</source>
        <translation>ihre Dateien werden direkt ins Ziel kopiert</translation>
    </message>
    <message>
        <source>copied</source>
        <translation>kopiert</translation>
    </message>
    <message>
        <source>left out</source>
        <translation>ausgelassen</translation>
    </message>
    <message>
        <source>Hidden files: %1</source>
        <translation>Versteckte Dateien: %1</translation>
    </message>
    <message>
        <source>Links: %1</source>
        <translation>Verknüpfungen: %1</translation>
    </message>
    <message>
        <source>copied as links</source>
        <translation>als Verknüpfungen kopiert</translation>
    </message>
    <message>
        <source>Empty folders: %1</source>
        <translation>Leere Ordner: %1</translation>
    </message>
    <message>
        <source>Verify after copying: %1</source>
        <translation>Nach dem Kopieren prüfen: %1</translation>
    </message>
    <message>
        <source>Copy only: %1</source>
        <translation>Nur kopieren: %1</translation>
    </message>
    <message>
        <source>Skip: %1</source>
        <translation>Überspringen: %1</translation>
    </message>
    <message>
        <source>Errors ignored on: %1</source>
        <translation>Fehler ignoriert bei: %1</translation>
    </message>
    <message>
        <source>Names the destination refuses: %1</source>
        <translation>Namen, die das Ziel ablehnt: %1</translation>
    </message>
    <message>
        <source>written with look-alike characters</source>
        <translation>mit ähnlich aussehenden Zeichen geschrieben</translation>
    </message>
    <message>
        <source>Decisions for single files: %1</source>
        <translation>Entscheidungen für einzelne Dateien: %1</translation>
    </message>
</context>
<context>
    <name>ManifestCheck</name>
    <message>
        <source>line %1 is too long for a checksum line</source>
        <translation>Zeile %1 ist zu lang für eine Prüfsummenzeile</translation>
    </message>
    <message>
        <source>no checksum line found</source>
        <translation>keine Prüfsummenzeile gefunden</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
</context>
<context>
    <name>ManifestCheckActions</name>
    <message>
        <source>Checksum list to check</source>
        <translation>Zu prüfende Prüfsummenliste</translation>
    </message>
    <message>
        <source>Checksum lists (*.sha256 *.sha256sum *.b2 *.b2sum *.xxh128 *SUMS *sums *.txt);;All files (*)</source>
        <translation>Prüfsummenlisten (*.sha256 *.sha256sum *.b2 *.b2sum *.xxh128 *SUMS *sums *.txt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Folder to check</source>
        <translation>Zu prüfender Ordner</translation>
    </message>
    <message>
        <source>Checking against the checksum list...</source>
        <translation>Prüfung gegen die Prüfsummenliste...</translation>
    </message>
    <message>
        <source>The checksum list %1 cannot be read:
%2</source>
        <translation>Die Prüfsummenliste %1 kann nicht gelesen werden:
%2</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>Den Ordner %1 gibt es nicht.</translation>
    </message>
    <message>
        <source>Checking against the checksum list: %1 of %2 files</source>
        <translation>Prüfung gegen die Prüfsummenliste: %1 von %2 Dateien</translation>
    </message>
    <message>
        <source>All files of the checksum list are equal in %1.
%2</source>
        <translation>Alle Dateien der Prüfsummenliste sind in %1 gleich.
%2</translation>
    </message>
</context>
<context>
    <name>ManifestCheckDialog</name>
    <message>
        <source>Checksum list check - %1</source>
        <translation>Prüfung der Prüfsummenliste - %1</translation>
    </message>
    <message>
        <source>Checksum list: %1
Folder: %2</source>
        <translation>Prüfsummenliste: %1
Ordner: %2</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>%1 equal, %2 missing, %3 differing, %4 unreadable, %5 not listed</source>
        <translation>%1 gleich, %2 fehlend, %3 abweichend, %4 unlesbar, %5 nicht aufgeführt</translation>
    </message>
    <message>
        <source>Lines of the checksum list that are no checksum lines: %1</source>
        <translation>Zeilen der Prüfsummenliste, die keine Prüfsummenzeilen sind: %1</translation>
    </message>
</context>
<context>
    <name>ManifestCheckModel</name>
    <message>
        <source>Equal</source>
        <translation>Gleich</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>Fehlt</translation>
    </message>
    <message>
        <source>Differing</source>
        <translation>Abweichend</translation>
    </message>
    <message>
        <source>Unreadable</source>
        <translation>Unlesbar</translation>
    </message>
    <message>
        <source>Not listed</source>
        <translation>Nicht aufgeführt</translation>
    </message>
    <message>
        <source>Not a checksum line</source>
        <translation>Keine Prüfsummenzeile</translation>
    </message>
    <message>
        <source>Line %1 of the checksum list</source>
        <translation>Zeile %1 der Prüfsummenliste</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
</context>
<context>
    <name>ManifestWriter</name>
    <message>
        <source>unable to write the checksum list %1: %2</source>
        <translation>Prüfsummenliste %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>the checksum list %1 is not open</source>
        <translation>die Prüfsummenliste %1 ist nicht geöffnet</translation>
    </message>
    <message>
        <source>the checksum list %1 is not written: %2 files were verified before the run was resumed</source>
        <translation>die Prüfsummenliste %1 wird nicht geschrieben: %2 Dateien wurden vor der Fortsetzung des Laufs geprüft</translation>
    </message>
</context>
<context>
    <name>PausePresenter</name>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Continued</source>
        <translation>Fortgesetzt</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Go on from where the run holds (Pause key)</source>
        <translation>Dort weitermachen, wo der Lauf angehalten wurde (Pause-Taste)</translation>
    </message>
    <message>
        <source>Hold the run where it is, files open (Pause key)</source>
        <translation>Den Lauf an seiner Stelle anhalten, Dateien bleiben offen (Pause-Taste)</translation>
    </message>
</context>
<context>
    <name>PlanCheckDialog</name>
    <message>
        <source>Summary</source>
        <translation>Übersicht</translation>
    </message>
    <message>
        <source>Summary of the check</source>
        <translation>Übersicht der Prüfung</translation>
    </message>
    <message>
        <source>Existing files</source>
        <translation>Vorhandene Dateien</translation>
    </message>
    <message>
        <source>Files already at the destination</source>
        <translation>Dateien, die schon am Ziel sind</translation>
    </message>
    <message>
        <source>Selected files:</source>
        <translation>Ausgewählte Dateien:</translation>
    </message>
    <message>
        <source>&amp;Overwrite</source>
        <translation>&amp;Überschreiben</translation>
    </message>
    <message>
        <source>&amp;Skip</source>
        <translation>Ü&amp;berspringen</translation>
    </message>
    <message>
        <source>&amp;Rename</source>
        <translation>&amp;Umbenennen</translation>
    </message>
    <message>
        <source>All files:</source>
        <translation>Alle Dateien:</translation>
    </message>
    <message>
        <source>Overwrite all o&amp;lder</source>
        <translation>Alle ä&amp;lteren überschreiben</translation>
    </message>
    <message>
        <source>S&amp;kip all</source>
        <translation>Alle übers&amp;pringen</translation>
    </message>
    <message>
        <source>Rena&amp;me all</source>
        <translation>Alle umbe&amp;nennen</translation>
    </message>
    <message>
        <source>Problems at the destination:</source>
        <translation>Probleme am Ziel:</translation>
    </message>
    <message>
        <source>Existing files (%1)</source>
        <translation>Vorhandene Dateien (%1)</translation>
    </message>
</context>
<context>
    <name>PlanReport</name>
    <message>
        <source>%1 files, %2</source>
        <extracomment>%1 is a number of files, %2 their size (&quot;3 files, 1.20 MB&quot;)</extracomment>
        <translation>%1 Dateien, %2</translation>
    </message>
    <message>
        <source>To compare: %1</source>
        <translation>Zu vergleichen: %1</translation>
    </message>
    <message>
        <source>To copy: %1</source>
        <translation>Zu kopieren: %1</translation>
    </message>
    <message>
        <source>To overwrite: %1</source>
        <translation>Zu überschreiben: %1</translation>
    </message>
    <message>
        <source>To skip: %1 (kept as they are: %2, newer at the destination: %3, left out by the filters: %4)</source>
        <translation>Zu überspringen: %1 (bleiben, wie sie sind: %2, am Ziel neuer: %3, von den Filtern ausgelassen: %4)</translation>
    </message>
    <message>
        <source>To rename: %1</source>
        <translation>Umzubenennen: %1</translation>
    </message>
    <message>
        <source>In error: %1</source>
        <translation>Fehlerhaft: %1</translation>
    </message>
    <message>
        <source>Leaving the source: %1</source>
        <translation>Verlassen die Quelle: %1</translation>
    </message>
    <message>
        <source>Folders: %1</source>
        <translation>Ordner: %1</translation>
    </message>
    <message>
        <source>Estimated time: %1</source>
        <translation>Geschätzte Zeit: %1</translation>
    </message>
    <message>
        <source>Basis of the estimate: %1 ms per file and %2/s, %3</source>
        <translation>Grundlage der Schätzung: %1 ms je Datei und %2/s, %3</translation>
    </message>
    <message>
        <source>Destination: %1 file system (%2), %3 free, %4 needed</source>
        <translation>Ziel: Dateisystem %1 (%2), %3 frei, %4 benötigt</translation>
    </message>
    <message>
        <source>The check was cancelled: these figures are incomplete.</source>
        <translation>Die Prüfung wurde abgebrochen: diese Zahlen sind unvollständig.</translation>
    </message>
    <message>
        <source>Names with characters the destination refuses</source>
        <translation>Namen mit Zeichen, die das Ziel ablehnt</translation>
    </message>
    <message>
        <source>Names the destination reserves for devices</source>
        <translation>Namen, die das Ziel für Geräte reserviert</translation>
    </message>
    <message>
        <source>Names ending in a dot or a space</source>
        <translation>Namen, die auf einen Punkt oder ein Leerzeichen enden</translation>
    </message>
    <message>
        <source>Names longer than the destination takes</source>
        <translation>Namen, die länger sind, als das Ziel erlaubt</translation>
    </message>
    <message>
        <source>Paths longer than the destination takes</source>
        <translation>Pfade, die länger sind, als das Ziel erlaubt</translation>
    </message>
    <message>
        <source>Names that differ only by case, which the destination takes as one</source>
        <translation>Namen, die sich nur in Groß- und Kleinschreibung unterscheiden und die das Ziel als einen nimmt</translation>
    </message>
    <message>
        <source>Symbolic links the destination cannot hold</source>
        <translation>Symbolische Links, die das Ziel nicht aufnehmen kann</translation>
    </message>
    <message>
        <source>Special files the destination cannot hold</source>
        <translation>Spezialdateien, die das Ziel nicht aufnehmen kann</translation>
    </message>
    <message>
        <source>Files larger than the destination&apos;s file system takes</source>
        <translation>Dateien, die größer sind, als das Dateisystem des Ziels erlaubt</translation>
    </message>
    <message>
        <source>Owners the destination does not keep</source>
        <translation>Besitzer, die das Ziel nicht behält</translation>
    </message>
    <message>
        <source>Permissions the destination does not keep</source>
        <translation>Berechtigungen, die das Ziel nicht behält</translation>
    </message>
    <message>
        <source>Not enough free space at the destination</source>
        <translation>Nicht genug freier Platz am Ziel</translation>
    </message>
    <message>
        <source>The destination is read-only</source>
        <translation>Das Ziel ist schreibgeschützt</translation>
    </message>
    <message>
        <source>The destination folder cannot be written</source>
        <translation>In den Zielordner kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source> (%1 short)</source>
        <translation> (%1 fehlen)</translation>
    </message>
    <message>
        <source>    ... and %1 more</source>
        <translation>    ... und %1 weitere</translation>
    </message>
    <message>
        <source>The run will fail on these files: %1.</source>
        <translation>Der Lauf wird bei diesen Dateien scheitern: %1.</translation>
    </message>
    <message>
        <source>Names another file of this run takes at the destination</source>
        <translation>Namen, die eine andere Datei dieses Laufs am Ziel belegt</translation>
    </message>
    <message>
        <source>Files without a copy to compare at the destination</source>
        <translation>Dateien ohne Kopie zum Vergleichen am Ziel</translation>
    </message>
</context>
<context>
    <name>ProcessJob</name>
    <message>
        <source>process error code %1</source>
        <translation>Prozessfehler, Code %1</translation>
    </message>
    <message>
        <source>exit code %1</source>
        <translation>Exit-Code %1</translation>
    </message>
</context>
<context>
    <name>ProgressPresenter</name>
    <message>
        <source>Writing to the device…</source>
        <translation>Daten werden auf das Gerät geschrieben…</translation>
    </message>
    <message>
        <source>Paused: the run holds its place and goes on from there.</source>
        <translation>Angehalten: Der Lauf behält seine Stelle und macht dort weiter.</translation>
    </message>
</context>
<context>
    <name>ProgressRules</name>
    <message>
        <source>max speed</source>
        <translation>Höchstgeschwindigkeit</translation>
    </message>
    <message>
        <source>finished</source>
        <translation>fertig</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>almost finished</source>
        <translation>fast fertig</translation>
    </message>
    <message>
        <source>processed files of</source>
        <translation>verarbeitete Dateien von</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>übersprungen</translation>
    </message>
    <message>
        <source>copied</source>
        <translation>kopiert</translation>
    </message>
    <message>
        <source>checked</source>
        <translation>geprüft</translation>
    </message>
    <message>
        <source>errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>building file list</source>
        <translation>Dateiliste wird erstellt</translation>
    </message>
    <message>
        <source>left</source>
        <translation>übrig</translation>
    </message>
    <message>
        <source>operation completed</source>
        <translation>Vorgang abgeschlossen</translation>
    </message>
    <message>
        <source>%1 copied folders of %2 processed</source>
        <translation>%1 von %2 Ordnern verarbeitet</translation>
    </message>
    <message>
        <source>%1: %2 (%3 bytes)</source>
        <translation>%1: %2 (%3 Byte)</translation>
    </message>
    <message>
        <source>Total Folders</source>
        <translation>Ordner gesamt</translation>
    </message>
    <message>
        <source>Processed Folders</source>
        <translation>Verarbeitete Ordner</translation>
    </message>
    <message>
        <source>Total Files</source>
        <translation>Dateien gesamt</translation>
    </message>
    <message>
        <source>Total File Size</source>
        <translation>Gesamtgröße der Dateien</translation>
    </message>
    <message>
        <source>Processed Files</source>
        <translation>Verarbeitete Dateien</translation>
    </message>
    <message>
        <source>Processed File Size</source>
        <translation>Größe der verarbeiteten Dateien</translation>
    </message>
    <message>
        <source>Copied Files</source>
        <translation>Kopierte Dateien</translation>
    </message>
    <message>
        <source>Skipped Files</source>
        <translation>Übersprungene Dateien</translation>
    </message>
    <message>
        <source>Checked Files</source>
        <translation>Geprüfte Dateien</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>The verification of files is stopped.</source>
        <translation>Die Prüfung der Dateien wurde angehalten.</translation>
    </message>
    <message>
        <source>The copy is stopped.</source>
        <translation>Das Kopieren wurde angehalten.</translation>
    </message>
    <message>
        <source>The copy has some errors.</source>
        <translation>Beim Kopieren sind Fehler aufgetreten.</translation>
    </message>
    <message>
        <source>The copy is verified.</source>
        <translation>Die Kopie ist geprüft.</translation>
    </message>
    <message>
        <source>The copy is completed.</source>
        <translation>Das Kopieren ist abgeschlossen.</translation>
    </message>
    <message>
        <source>%1 left</source>
        <extracomment>The time a run still needs: &quot;3 s left&quot;, &quot;1:05 m left&quot;.</extracomment>
        <translation>noch %1</translation>
    </message>
    <message>
        <source>The move is stopped.</source>
        <translation>Das Verschieben wurde angehalten.</translation>
    </message>
    <message>
        <source>The verification found errors.</source>
        <translation>Die Prüfung hat Fehler gefunden.</translation>
    </message>
    <message>
        <source>The move has some errors.</source>
        <translation>Beim Verschieben sind Fehler aufgetreten.</translation>
    </message>
    <message>
        <source>The move is completed.</source>
        <translation>Das Verschieben ist abgeschlossen.</translation>
    </message>
    <message>
        <source>%1: %2 % (%3 of %4)</source>
        <extracomment>A large file being copied: its name, the share done, the bytes done of its size.</extracomment>
        <translation>%1: %2 % (%3 von %4)</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>Abgeschlossen</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Moving…</source>
        <translation>Verschieben…</translation>
    </message>
    <message>
        <source>Verifying…</source>
        <translation>Prüfen…</translation>
    </message>
    <message>
        <source>Fixing errors…</source>
        <translation>Fehler beheben…</translation>
    </message>
    <message>
        <source>Copying…</source>
        <translation>Kopieren…</translation>
    </message>
    <message>
        <source>Changed Since The Earlier Run</source>
        <translation>Seit dem früheren Lauf geändert</translation>
    </message>
    <message>
        <source>file list not completed</source>
        <translation>Dateiliste nicht vollständig</translation>
    </message>
    <message>
        <source>Nothing to do: the verify was complete.</source>
        <translation>Nichts zu tun: Die Prüfung war vollständig.</translation>
    </message>
    <message>
        <source>Nothing to do: the move was complete.</source>
        <translation>Nichts zu tun: Das Verschieben war vollständig.</translation>
    </message>
    <message>
        <source>Nothing to do: the copy was complete.</source>
        <translation>Nichts zu tun: Die Kopie war vollständig.</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Filtered Files</source>
        <translation>Gefilterte Dateien</translation>
    </message>
    <message>
        <source>Filtered Folders</source>
        <translation>Gefilterte Ordner</translation>
    </message>
</context>
<context>
    <name>QueueChannel</name>
    <message>
        <source>The request cannot be read.</source>
        <translation>Die Anfrage kann nicht gelesen werden.</translation>
    </message>
</context>
<context>
    <name>QueueModel</name>
    <message>
        <source>Queued</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>#</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Lauf</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Ziel</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Meldung</translation>
    </message>
</context>
<context>
    <name>QueuePresenter</name>
    <message>
        <source>The queue does not answer.</source>
        <translation>Die Warteschlange antwortet nicht.</translation>
    </message>
    <message>
        <source>Add to &amp;queue</source>
        <translation>In &amp;Warteschlange</translation>
    </message>
    <message>
        <source>Adds the task to the queue of runs, which runs it when the runs before it on its disks are through.</source>
        <translation>Stellt die Aufgabe in die Warteschlange, die sie ausführt, sobald die Läufe vor ihr auf ihren Datenträgern fertig sind.</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>Verschieben</translation>
    </message>
    <message>
        <source>Verify</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>Queued runs</source>
        <translation>Läufe der Warteschlange</translation>
    </message>
    <message>
        <source>Corner of the queued runs</source>
        <translation>Ecke der Läufe der Warteschlange</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Pause</translation>
    </message>
    <message>
        <source>C&amp;ontinue</source>
        <translation>F&amp;ortsetzen</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Move &amp;up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move &amp;down</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>Warteschlange</translation>
    </message>
    <message>
        <source>Queued run %1</source>
        <translation>Lauf der Warteschlange: %1</translation>
    </message>
    <message>
        <source>%1 → %2</source>
        <translation>%1 → %2</translation>
    </message>
    <message>
        <source>The queue is done</source>
        <translation>Die Warteschlange ist abgearbeitet</translation>
    </message>
    <message>
        <source>No run is left in the queue.</source>
        <translation>In der Warteschlange ist kein Lauf mehr.</translation>
    </message>
    <message>
        <source>Select a run of the queue first.</source>
        <translation>Wählen Sie zuerst einen Lauf der Warteschlange.</translation>
    </message>
    <message>
        <source>Unable to find &apos;%1&apos;.</source>
        <translation>„%1“ wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Unable to create destination folder &apos;%1&apos;.</source>
        <translation>Der Zielordner „%1“ kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Unable to write the queue&apos;s task file &apos;%1&apos;.</source>
        <translation>Die Aufgabendatei „%1“ der Warteschlange kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Added to the queue.</source>
        <translation>In die Warteschlange gestellt.</translation>
    </message>
    <message>
        <source>Unable to start %1 to run the queue.</source>
        <translation>%1 kann nicht gestartet werden, um die Warteschlange auszuführen.</translation>
    </message>
</context>
<context>
    <name>ReportView</name>
    <message>
        <source>Report</source>
        <translation>Bericht</translation>
    </message>
    <message>
        <source>Unprocessed</source>
        <translation>Unbearbeitet</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Skipped</source>
        <translation>Übersprungen</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>Checked</source>
        <translation>Geprüft</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Please wait</source>
        <translation>Bitte warten</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>No item found</source>
        <translation>Kein Element gefunden</translation>
    </message>
    <message>
        <source>Open source folder</source>
        <translation>Quellordner öffnen</translation>
    </message>
    <message>
        <source>Open destination folder</source>
        <translation>Zielordner öffnen</translation>
    </message>
    <message>
        <source>Add to task</source>
        <translation>Zur Aufgabe hinzufügen</translation>
    </message>
    <message>
        <source>Export all items to file</source>
        <translation>Alle Elemente in eine Datei exportieren</translation>
    </message>
    <message>
        <source>Show only filenames</source>
        <translation>Nur Dateinamen anzeigen</translation>
    </message>
    <message>
        <source>Close menu</source>
        <translation>Menü schließen</translation>
    </message>
    <message>
        <source>Do you want to export as copy script or just as list of files?</source>
        <translation>Möchten Sie als Kopierskript oder nur als Dateiliste exportieren?</translation>
    </message>
    <message>
        <source>As script</source>
        <translation>Als Skript</translation>
    </message>
    <message>
        <source>As list</source>
        <translation>Als Liste</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>%1 paths contain a line break and are left out of the list.</source>
        <translation>Pfade mit Zeilenumbruch, die in der Liste fehlen: %1.</translation>
    </message>
    <message>
        <source>Shell scripts (*.sh)</source>
        <translation>Shell-Skripte (*.sh)</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <source>%1 is saved.</source>
        <translation>%1 wurde gespeichert.</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Unable to save %1: %2</source>
        <translation>%1 kann nicht gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Problems</source>
        <translation>Probleme</translation>
    </message>
</context>
<context>
    <name>RunCheck</name>
    <message>
        <source>Cancel check</source>
        <translation>Prüfung abbrechen</translation>
    </message>
    <message>
        <source>Checking the destination</source>
        <translation>Das Ziel wird geprüft</translation>
    </message>
    <message>
        <source>Check cancelled</source>
        <translation>Prüfung abgebrochen</translation>
    </message>
    <message>
        <source>Name the source and the destination first.</source>
        <translation>Geben Sie zuerst Quelle und Ziel an.</translation>
    </message>
    <message>
        <source>Unable to find &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>What a copy from &apos;%1&apos; to &apos;%2&apos; would do:</source>
        <translation>Was eine Kopie von &apos;%1&apos; nach &apos;%2&apos; täte:</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>The check before the run found problems at the destination.</source>
        <translation>Die Prüfung vor dem Lauf hat Probleme am Ziel gefunden.</translation>
    </message>
    <message>
        <source>Move anyway</source>
        <translation>Trotzdem verschieben</translation>
    </message>
    <message>
        <source>Copy anyway</source>
        <translation>Trotzdem kopieren</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Replace forbidden characters</source>
        <translation>Verbotene Zeichen ersetzen</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>Verschieben</translation>
    </message>
    <message>
        <source>Verify</source>
        <translation>Gegenprüfen</translation>
    </message>
    <message>
        <source>What a move from &apos;%1&apos; to &apos;%2&apos; would do:</source>
        <translation>Was ein Verschieben von &apos;%1&apos; nach &apos;%2&apos; täte:</translation>
    </message>
    <message>
        <source>What a verify of &apos;%2&apos; against &apos;%1&apos; would compare:</source>
        <translation>Was ein Gegenprüfen von &apos;%2&apos; mit &apos;%1&apos; vergleichen würde:</translation>
    </message>
    <message>
        <source>The check before the verify found files it cannot compare.</source>
        <translation>Die Prüfung vor dem Gegenprüfen hat Dateien gefunden, die es nicht vergleichen kann.</translation>
    </message>
    <message>
        <source>Verify anyway</source>
        <translation>Trotzdem gegenprüfen</translation>
    </message>
</context>
<context>
    <name>RunPresenter</name>
    <message>
        <source>The path &apos;%1&apos; contains spaces at start or end. Do you want to delete them?</source>
        <translation>Der Pfad &apos;%1&apos; enthält Leerzeichen am Anfang oder Ende. Möchten Sie diese entfernen?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Unable to find &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The destination &apos;%1&apos; does not exist: there is nothing to verify.</source>
        <translation>Das Ziel „%1“ existiert nicht: Es gibt nichts zu prüfen.</translation>
    </message>
    <message>
        <source>Create folder</source>
        <translation>Ordner erstellen</translation>
    </message>
    <message>
        <source>Unable to create destination folder.</source>
        <translation>Der Zielordner kann nicht erstellt werden.</translation>
    </message>
    <message>
        <source>The previous task is not completed.</source>
        <translation>Die vorherige Aufgabe ist nicht abgeschlossen.</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Neu starten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Do you really want to move these files?</source>
        <translation>Möchten Sie diese Dateien wirklich verschieben?</translation>
    </message>
    <message>
        <source>There is not errors to fix.</source>
        <translation>Es gibt keine Fehler zu beheben.</translation>
    </message>
    <message>
        <source>The errors to fix belong to the copy from &apos;%1&apos; to &apos;%2&apos;. The paths are set back to them; press &quot;Fix errors&quot; again to copy the errors again.</source>
        <translation>Die zu behebenden Fehler gehören zum Kopiervorgang von &apos;%1&apos; nach &apos;%2&apos;. Die Pfade wurden darauf zurückgesetzt; klicken Sie erneut auf „Fehler beheben“, um die fehlerhaften Elemente noch einmal zu kopieren.</translation>
    </message>
    <message>
        <source>Resuming</source>
        <translation>Wird fortgesetzt</translation>
    </message>
    <message>
        <source>Brindle v. %1 (by Orvane)</source>
        <translation>Brindle v. %1 (von Orvane)</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>To</source>
        <translation>Nach</translation>
    </message>
    <message>
        <source>Copy method</source>
        <translation>Kopiermethode</translation>
    </message>
    <message>
        <source>Threads used</source>
        <translation>Verwendete Threads</translation>
    </message>
    <message>
        <source>External program skips building the file list</source>
        <translation>Das externe Programm überspringt das Erstellen der Dateiliste</translation>
    </message>
    <message>
        <source>Task will use these copy options</source>
        <translation>Die Aufgabe verwendet diese Kopieroptionen</translation>
    </message>
    <message>
        <source>The file list is not completed yet. If you stop the process now you cannot save or resume the copy.</source>
        <translation>Die Dateiliste ist noch nicht vollständig. Wenn Sie den Vorgang jetzt anhalten, können Sie den Kopiervorgang weder speichern noch fortsetzen.</translation>
    </message>
    <message>
        <source>Stop the copy</source>
        <translation>Kopieren anhalten</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Target storage has %1 of free space and it doesn&apos;t contain a complete copy of %2.</source>
        <translation>Der Zielspeicher hat %1 freien Platz und fasst keine vollständige Kopie von %2.</translation>
    </message>
    <message>
        <source>Do you want to continue or stop the process?</source>
        <translation>Möchten Sie fortfahren oder den Vorgang anhalten?</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Stopped an uncompleted job</source>
        <translation>Ein nicht abgeschlossener Vorgang wurde angehalten</translation>
    </message>
    <message>
        <source>Save task</source>
        <translation>Aufgabe speichern</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>View report</source>
        <translation>Bericht anzeigen</translation>
    </message>
    <message>
        <source>View errors</source>
        <translation>Fehler anzeigen</translation>
    </message>
    <message>
        <source>The copy has %1 errors</source>
        <translation>Beim Kopieren sind Fehler aufgetreten: %1</translation>
    </message>
    <message>
        <source>To make this copy from terminal you can try to use this command</source>
        <translation>Um diese Kopie im Terminal auszuführen, können Sie diesen Befehl verwenden</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Bitte warten...</translation>
    </message>
    <message>
        <source>Moving files</source>
        <translation>Dateien werden verschoben</translation>
    </message>
    <message>
        <source>Verifying copies</source>
        <translation>Kopien werden geprüft</translation>
    </message>
    <message>
        <source>Copying files</source>
        <translation>Dateien werden kopiert</translation>
    </message>
    <message>
        <source>Unable to find the destination folder &apos;%1&apos;.</source>
        <translation>Der Zielordner „%1“ wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The folder &apos;%1&apos; on the way to the destination &apos;%2&apos; does not exist. Is the drive mounted?</source>
        <translation>Der Ordner „%1“ auf dem Weg zum Ziel „%2“ existiert nicht. Ist das Laufwerk eingehängt?</translation>
    </message>
    <message>
        <source>Create all folders</source>
        <translation>Alle Ordner erstellen</translation>
    </message>
    <message>
        <source>Name the file or folder to copy first.</source>
        <translation>Nennen Sie zuerst die Datei oder den Ordner, die kopiert werden sollen.</translation>
    </message>
    <message>
        <source>Name the destination folder first.</source>
        <translation>Nennen Sie zuerst den Zielordner.</translation>
    </message>
    <message>
        <source>Do you want to stop the run? A stopped run can be saved and resumed.</source>
        <translation>Möchten Sie den Lauf anhalten? Ein angehaltener Lauf kann gespeichert und fortgesetzt werden.</translation>
    </message>
</context>
<context>
    <name>RunQueue</name>
    <message>
        <source>Interrupted; resumes from its task file.</source>
        <translation>Unterbrochen; geht aus seiner Aufgabendatei weiter.</translation>
    </message>
    <message>
        <source>The run to add cannot be read.</source>
        <translation>Der einzureihende Lauf kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>No queued run has the id &quot;%1&quot;.</source>
        <translation>Kein Lauf der Warteschlange hat die ID „%1“.</translation>
    </message>
    <message>
        <source>The run to add is not one this queue can take.</source>
        <translation>Diesen Lauf kann die Warteschlange nicht aufnehmen.</translation>
    </message>
    <message>
        <source>Unable to write the queue&apos;s file in &apos;%1&apos;.</source>
        <translation>Die Datei der Warteschlange in „%1“ kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Only a queued or running run can be paused.</source>
        <translation>Nur ein wartender oder laufender Lauf kann pausiert werden.</translation>
    </message>
    <message>
        <source>The run is not paused.</source>
        <translation>Der Lauf ist nicht pausiert.</translation>
    </message>
    <message>
        <source>The run has ended already.</source>
        <translation>Der Lauf ist schon beendet.</translation>
    </message>
    <message>
        <source>Unknown request &quot;%1&quot;.</source>
        <translation>Unbekannte Anfrage „%1“.</translation>
    </message>
    <message>
        <source>The run&apos;s process ended unexpectedly.</source>
        <translation>Der Prozess des Laufs endete unerwartet.</translation>
    </message>
</context>
<context>
    <name>SyncFoldersJob</name>
    <message>
        <source>Folder moved</source>
        <translation>Ordner verschoben</translation>
    </message>
    <message>
        <source>Folder synced</source>
        <translation>Ordner abgeglichen</translation>
    </message>
    <message>
        <source>Unable to sync folder</source>
        <translation>Ordner kann nicht abgeglichen werden</translation>
    </message>
    <message>
        <source>Unable to delete source folder</source>
        <translation>Quellordner kann nicht gelöscht werden</translation>
    </message>
    <message>
        <source>Folder kept: it holds entries the run left out</source>
        <translation>Ordner behalten: er enthält Einträge, die der Lauf ausgelassen hat</translation>
    </message>
</context>
<context>
    <name>SystemDesktop</name>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
</context>
<context>
    <name>TaskFileActions</name>
    <message>
        <source>New</source>
        <translation>Neue</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Vorherige</translation>
    </message>
    <message>
        <source>Which task do you want to save?</source>
        <translation>Welche Aufgabe möchten Sie speichern?</translation>
    </message>
    <message>
        <source>1) %1</source>
        <translation>1) %1</translation>
    </message>
    <message>
        <source>2) %2</source>
        <translation>2) %2</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Current copy is not a task with a file list completed.</source>
        <translation>Der aktuelle Kopiervorgang ist keine Aufgabe mit vollständiger Dateiliste.</translation>
    </message>
    <message>
        <source>Do you want to save copied and skipped files also?</source>
        <translation>Möchten Sie auch die kopierten und übersprungenen Dateien speichern?</translation>
    </message>
    <message>
        <source>Save all</source>
        <translation>Alle speichern</translation>
    </message>
    <message>
        <source>Save only errors and not copied files</source>
        <translation>Nur Fehler und nicht kopierte Dateien speichern</translation>
    </message>
    <message>
        <source>Do you want to save errors as unprocessed items?</source>
        <translation>Möchten Sie die Fehler als unbearbeitete Elemente speichern?</translation>
    </message>
    <message>
        <source>Yes, I will try to fix errors in the next copy</source>
        <translation>Ja, ich versuche, die Fehler beim nächsten Kopieren zu beheben</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Please fill in the source and the destination of the task to save.</source>
        <translation>Bitte geben Sie Quelle und Ziel der zu speichernden Aufgabe an.</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Bitte warten...</translation>
    </message>
    <message>
        <source>Save completed</source>
        <translation>Speichern abgeschlossen</translation>
    </message>
    <message>
        <source>Copy task is saved in file</source>
        <translation>Die Kopieraufgabe wurde in folgender Datei gespeichert</translation>
    </message>
    <message>
        <source>Save failed</source>
        <translation>Speichern fehlgeschlagen</translation>
    </message>
    <message>
        <source>Unable to save copy task in file</source>
        <translation>Die Kopieraufgabe kann nicht in folgender Datei gespeichert werden</translation>
    </message>
    <message>
        <source>Load failed</source>
        <translation>Laden fehlgeschlagen</translation>
    </message>
    <message>
        <source>Unable to load copy task from file</source>
        <translation>Die Kopieraufgabe kann nicht aus folgender Datei geladen werden</translation>
    </message>
    <message>
        <source>Load completed</source>
        <translation>Laden abgeschlossen</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>A copy is already in progress: the paths given to the new start are not used.</source>
        <translation>Es läuft bereits ein Kopiervorgang: Die beim neuen Start übergebenen Pfade werden nicht verwendet.</translation>
    </message>
    <message>
        <source>Version %1 is available.</source>
        <translation>Version %1 ist verfügbar.</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Unable to open %1</source>
        <translation>%1 kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Save recent paths</source>
        <translation>Letzte Pfade speichern</translation>
    </message>
    <message>
        <source>Do you really want to clear %1 recent paths?</source>
        <translation>Möchten Sie die letzten Pfade (%1) wirklich löschen?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Copy task is loaded from file</source>
        <translation>Die Kopieraufgabe wurde aus der Datei geladen</translation>
    </message>
    <message>
        <source>This file was not saved by this program in its data folder. Check what it will do before you start it.</source>
        <translation>Diese Datei wurde nicht von diesem Programm in seinem Datenordner gespeichert. Prüfen Sie, was sie tun wird, bevor Sie sie starten.</translation>
    </message>
    <message>
        <source>Source: %1</source>
        <translation>Quelle: %1</translation>
    </message>
    <message>
        <source>Destination: %1</source>
        <translation>Ziel: %1</translation>
    </message>
    <message>
        <source>Items in the task: %1</source>
        <translation>Einträge der Aufgabe: %1</translation>
    </message>
    <message>
        <source>Items in the task: none yet, the source is read when it starts</source>
        <translation>Einträge der Aufgabe: noch keine, die Quelle wird beim Start gelesen</translation>
    </message>
    <message>
        <source>A run was stopped when %1 closed, and saved:</source>
        <translation>Ein Lauf wurde beim Schließen von %1 angehalten und gespeichert:</translation>
    </message>
    <message>
        <source>Do you want to resume it now?</source>
        <translation>Möchten Sie ihn jetzt fortsetzen?</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Verwerfen</translation>
    </message>
</context>
<context>
    <name>TaskForm</name>
    <message>
        <source>This option is not available when external program is used to copy</source>
        <translation>Diese Option ist nicht verfügbar, wenn ein externes Programm kopiert</translation>
    </message>
    <message>
        <source>Patterns separated by commas: *.jpg, *.tiff. &quot;photos/&quot; is every folder named photos with all in it, &quot;photos/*.jpg&quot; the JPEG files right in one; &quot;a\,b.txt&quot; is the file a,b.txt.</source>
        <translation>Muster durch Kommas getrennt: *.jpg, *.tiff. „photos/“ ist jeder Ordner namens photos mit allem darin, „photos/*.jpg“ die JPEG-Dateien direkt darin; „a\,b.txt“ ist die Datei a,b.txt.</translation>
    </message>
</context>
<context>
    <name>TaveroApplication</name>
    <message>
        <source>Usage: brindle [--portable]

Starts the Brindle window: choose a source and a destination, the options, and
copy, move, verify or fix the errors of a copy.

  --portable   keep the settings and data beside the program
  --help       show this text
  --version    show the version

Without a display, use brindle-cli, the command-line program (brindle-cli --help).
</source>
        <translation>Aufruf: brindle [--portable]

Öffnet das Fenster von Brindle: Quelle, Ziel und Optionen wählen, dann kopieren,
verschieben, prüfen oder die Fehler eines Kopiervorgangs beheben.

  --portable   Einstellungen und Daten neben dem Programm ablegen
  --help       diesen Text anzeigen
  --version    die Version anzeigen

Ohne grafische Anzeige verwenden Sie das Kommandozeilenprogramm brindle-cli
(brindle-cli --help).
</translation>
    </message>
    <message>
        <source>%1 %2 for %3
</source>
        <extracomment>Program name, its version and the operating system: &quot;Brindle 2.1.4 for Debian&quot;.</extracomment>
        <translation>%1 %2 für %3
</translation>
    </message>
    <message>
        <source>brindle: no display is available (DISPLAY and WAYLAND_DISPLAY are not set).
Start it in a desktop session, or use the command-line program instead:
  brindle-cli --help
</source>
        <translation>brindle: Keine grafische Anzeige verfügbar (DISPLAY und WAYLAND_DISPLAY sind nicht gesetzt).
Starten Sie es in einer Desktop-Sitzung oder verwenden Sie stattdessen
das Kommandozeilenprogramm:
  brindle-cli --help
</translation>
    </message>
</context>
<context>
    <name>WindowSeams</name>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
