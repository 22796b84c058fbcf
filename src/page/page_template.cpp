#include "page/page_template.hpp"

#include "base/cp850.hpp"

namespace pagiste {
namespace {

constexpr std::string_view kSpacerParagraph =
    R"(<P><FONT COLOR="#ffffff"><FONT FACE="Arial"><FONT SIZE=4 STYLE="font-size: 16pt">&nbsp;</FONT></FONT></FONT></P>)";
constexpr std::string_view kLabelStart =
    R"(<P><FONT COLOR="#ffffff"><FONT FACE="Arial"><FONT SIZE=4 STYLE="font-size: 16pt">)";
constexpr std::string_view kEmailLabelStart =
    R"(<P><FONT SIZE=4 STYLE="font-size: 16pt"><FONT FACE="Arial"><FONT COLOR="#ffffff">)";
constexpr std::string_view kLabelEnd = "</FONT></FONT></FONT></P>";

std::string Concat(std::initializer_list<std::string_view> pieces) {
  std::string line;
  for (const std::string_view piece : pieces) line += piece;
  return line;
}

// The end of a label line: the answer after its label text, then the closing tags.
std::string LabelValue(std::string_view label_rest, std::string_view answer) {
  return Concat({label_rest, answer, kLabelEnd});
}

std::string EmailValue(std::string_view label_rest, std::string_view address) {
  return Concat(
      {label_rest, R"(</FONT></FONT></FONT><A HREF="mailto:)", address,
       R"("><SPAN STYLE="text-decoration: none"><FONT SIZE=4 STYLE="font-size: 16pt"><FONT FACE="Arial"><FONT COLOR="#00ffff">)",
       address, "</FONT></FONT></FONT></SPAN></A></P>"});
}

}  // namespace

std::string PageAnswer(std::string_view cp850) {
  std::string text;
  text.reserve(cp850.size());
  for (const char byte : cp850) {
    const auto code = static_cast<std::uint8_t>(byte);
    if (code < 0x80) {
      text += byte;
    } else {
      text += "&#";
      text += std::to_string(static_cast<std::uint32_t>(Cp850ToUnicode(code)));
      text += ';';
    }
  }
  return text;
}

std::array<std::string, kPageLineCount> PageLines(const Personne& personne) {
  const std::string nom = PageAnswer(personne.Nom);
  const std::string prenom = PageAnswer(personne.Prenom);
  const std::string skin = PageAnswer(personne.Skin);
  const std::string email = PageAnswer(personne.Email);
  const std::string email2 = PageAnswer(personne.Email2);
  return {
      "<HTML>",
      "<HEAD>",
      Concat({"\t<TITLE>", prenom, " ", nom, "</TITLE>"}),
      "</HEAD>",
      Concat(
          {R"(<BODY TEXT="#000000" LINK="#0000ff" VLINK="#800080" BGCOLOR="#0000ff" BACKGROUND="Skins/)",
           skin, R"(/Back.jpg">)"}),
      R"(<P><FONT SIZE=1 STYLE="font-size: 8pt">&nbsp;</FONT></P>)",
      R"(<P><FONT SIZE=1 STYLE="font-size: 8pt">)",
      Concat(
          {R"(<IMG SRC="Skins/)", skin,
           R"(/Etoile.jpg" NAME="Image2" ALIGN=BOTTOM WIDTH=197 HEIGHT=189 BORDER=0>&#160;<FONT SIZE=5 STYLE="font-size: 20pt"><FONT FACE="Arial"><FONT COLOR="#ffffff">Pagiste)"}),
      Concat({"4 &#150; [", prenom, " ", nom, "]</FONT></FONT></FONT></FONT></P>"}),
      Concat(
          {R"(<P ALIGN=CENTER><FONT SIZE=1 STYLE="font-size: 8pt"><FONT SIZE=5 STYLE="font-size: 20pt"><FONT FACE="Arial"><FONT COLOR="#ffffff"><IMG SRC=")",
           PageAnswer(personne.CheminPhoto),
           R"(" NAME="" ALIGN=BOTTOM WIDTH=268 HEIGHT=245 BORDER=0></FONT>)"}),
      R"(</v:shapetype<v:shape id="_x0000_i1025" type="#_x0000_t75" style='width:201pt;)",
      R"( height:183.75pt')",
      Concat({R"( <v:imagedata src="Skin\)", skin, R"(\Etoile.jpg")"}),
      R"(</v:shape</FONT<IMG SRC="" NAME="" ALIGN=BOTTOM WIDTH=268 HEIGHT=245 BORDER=0<FONT SIZE=5 STYLE="font-size: 20pt"<FONT FACE="Arial"<FONT COLOR="#ffffff"Dossier)",
      Concat({nom, " ", prenom, "</FONT</FONT</FONT</P"}),
      R"(<P CLASS="msonormal" ALIGN=CENTER<FONT COLOR="#ffffff"<FONT FACE="StopD"<FONT SIZE=4 STYLE="font-size: 16pt"<v:shape)",
      R"( id="_x0000_i1026" type="#_x0000_t75" style='width:141.75pt;height:141.75pt')",
      R"(<P><FONT SIZE=4 STYLE="font-size: 16pt"><FONT FACE="Arial"><FONT COLOR="#ffffff">&nbsp;</FONT></FONT></FONT>)",
      "</P>",
      Concat({kLabelStart, "NOM"}),
      LabelValue(": ", nom),
      Concat({kLabelStart, "PRENOM"}),
      LabelValue(": ", prenom),
      std::string(kSpacerParagraph),
      Concat({kLabelStart, "ADRESSE"}),
      LabelValue(": ", PageAnswer(personne.Adresse)),
      Concat({kEmailLabelStart, "E-MAIL"}),
      EmailValue(": ", email),
      Concat({kEmailLabelStart, "E_MAIL"}),
      EmailValue("2 : ", email2),
      std::string(kSpacerParagraph),
      Concat({kLabelStart, "NUMERO"}),
      LabelValue("DE TELEPHONE (FIXE) : ", PageAnswer(personne.TelFixe)),
      Concat({kLabelStart, "NUMERO"}),
      LabelValue("DE TELEPHONE (PORTABLE) : ", PageAnswer(personne.TelPortable)),
      std::string(kSpacerParagraph),
      Concat({kLabelStart, "DATE"}),
      LabelValue("DE NAISSANCE : ", PageAnswer(personne.DateNaissance)),
      std::string(kSpacerParagraph),
      Concat({kLabelStart, "COMMENTAIRE"}),
      LabelValue(": ", PageAnswer(personne.Commentaire)),
      "</BODY>",
      "</HTML>",
  };
}

}  // namespace pagiste
