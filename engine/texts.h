// Every text the program shows, in one place. Windows-1252 bytes written as
// escapes, so the source stays ASCII and the binary holds the right code page.
// The resource script includes this file too, so keep it to plain #defines.
#pragma once

#define TXT_PROGRAM_NAME "Quillex"

// Message boxes.
#define TXT_ERROR_CAPTION "Erreur.."
#define TXT_READ_ERROR "Erreur \xe0 la lecture de l'archive."
#define TXT_CLOSE_ERROR "Impossible de fermer le fichier"
#define TXT_BAD_SIZE "Taille de fichier incorrect, essayez de le t\xe9l\xe9" "charger \xe0 nouveau."
#define TXT_FOLDER_ERROR "Erreur dans le r\xe9pertoire .."
#define TXT_OPEN_ERROR "Impossible d'ouvrir le fichier .."
#define TXT_BAD_NAME "Nom de fichier invalide."
#define TXT_BAD_METHOD "Type de compression inconnu"
#define TXT_ALL_DONE "Tous les fichiers ont \xe9t\xe9 extraits."
#define TXT_DONE_CAPTION "Termin\xe9."
#define TXT_SOME_FAILED "Le(s) fichier(s) s\xe9lectionn\xe9(s) n'ont pu \xeatre extraits."
#define TXT_ABOUT_CAPTION "A propos de Quillex..."
#define TXT_OUT_OF_MEMORY "M\xe9moire insuffisante."
#define TXT_ABOUT                                                   \
    "Quillex, l'archive auto-extractible pour Windows.\r\n"          \
    "Site : https://quillex.example.org\r\n"                         \
    "Courriel : contact@quillex.example.org\r\n"                     \
    "Distribution libre et gratuite, sans garantie."

// Questions and the run-after-extraction option.
#define TXT_EXISTS_SUFFIX "...existe d\xe9j\xe0, remplacer ?"
#define TXT_RUN_CAPTION "Apr\xe8s extraction, >< : "
#define TXT_RUN_VERB "lancer"
#define TXT_INSTALL_VERB "installer"

// Folder browser.
#define TXT_BROWSE_TITLE "Extraire vers : "
#define TXT_BROWSE_PROMPT "Veuillez choisir le r\xe9pertoire d'extraction"
#define TXT_NEW_FOLDER_BUTTON "Nouveau..."

// Dialog templates.
#define TXT_MAIN_TEMPLATE_TITLE "TARNELSFX32"
#define TXT_DESTINATION_LABEL "Destination :"
#define TXT_BROWSE_BUTTON "..."
#define TXT_FILES_LABEL "Fichiers :"
#define TXT_OVERWRITE_LABEL "Re-\xe9" "crire :"
#define TXT_OVERWRITE_CONFIRM "&Confirmer"
#define TXT_OVERWRITE_NEVER "&Non"
#define TXT_OVERWRITE_ALWAYS "&Toujours"
#define TXT_RUN_PLACEHOLDER "run"
#define TXT_ABOUT_BUTTON "&Infos..."
#define TXT_EXTRACT_BUTTON "&Extraire"
#define TXT_CLOSE_BUTTON "&Fermer"
#define TXT_ICON_NAME "MNICON"
#define TXT_EXISTS_TITLE "Confirmer re-\xe9" "criture de..."
#define TXT_YES_BUTTON "&Oui"
#define TXT_NO_BUTTON "&Non"
#define TXT_DONT_ASK "Ne &pas redemander"
#define TXT_PASSWORD_TITLE "Mot de passe..."
#define TXT_PASSWORD_OK "&Ok"
#define TXT_NEWDIR_TITLE "Cr\xe9" "er sous-r\xe9pertoire"
#define TXT_NEWDIR_CURRENT "R\xe9pertoire courant :"
#define TXT_NEWDIR_PLACEHOLDER "Texte"
#define TXT_NEWDIR_NAME "Nouveau r\xe9pertoire :"
#define TXT_OK "OK"
#define TXT_CANCEL "Annuler"
