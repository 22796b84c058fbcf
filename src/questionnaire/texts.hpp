// The questionnaire's texts, in code page 850 ("\x82" é, "\x85" à, "\x8A" è).
// A hex escape ends the string piece it is in, so that a letter after it is
// not read as one more hex digit.
#pragma once

#include <array>
#include <string_view>

namespace pagiste::texts {

inline constexpr std::string_view kTitleBar =
    " Pagiste 4                                                                      ";

inline constexpr std::array<std::string_view, 2> kIntroduction = {
    " Veuillez entrer les informations qui vous seront demand\x82"
    "es.",
    " Pour passer \x85"
    " l'information suivante, appuyez sur [Entr\x82"
    "e].",
};

inline constexpr std::string_view kNom = " Nom :";
inline constexpr std::string_view kPrenom =
    " Pr\x82"
    "nom :";
inline constexpr std::string_view kAdresse = " Adresse :";
inline constexpr std::string_view kEmail = " E-mail :";
inline constexpr std::string_view kEmail2 = " E-mail 2 :";
inline constexpr std::string_view kTelFixe =
    " Num\x82"
    "ro de t\x82"
    "l\x82"
    "phone (fixe) :";
inline constexpr std::string_view kTelPortable =
    " Num\x82"
    "ro de t\x82"
    "l\x82"
    "phone (portable) :";
inline constexpr std::string_view kDateNaissance = " Date de naissance :";
inline constexpr std::string_view kCommentaire = " Commentaire :";
inline constexpr std::string_view kCheminPhoto =
    " Veuillez entrer le chemin d'acc\x8A"
    "s du fichier contenant la photo :";
inline constexpr std::string_view kSkin =
    " Veuillez choisir un skin ... (Tapez \"D\" par d\x82"
    "faut)";
inline constexpr std::string_view kSkinWarning =
    " ATTENTION : Si vous ne tapez rien la page ne s'affichera pas correctement.";

inline constexpr std::array<std::string_view, 2> kClosing = {
    " Toutes les informations n\x82"
    "cessaires \x85"
    " la c\x82"
    "ation du fichier ont \x82"
    "t\x82"
    " donn\x82"
    "es !",
    " Appuyez sur [Entr\x82"
    "e] pour continuer...",
};

}  // namespace pagiste::texts
