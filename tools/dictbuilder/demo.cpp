#include "tools/dictbuilder/demo.h"

#include <map>
#include <vector>

#include "tools/dictbuilder/dictionary_writer.h"
#include "tools/dictbuilder/media.h"

namespace dictbuilder {
namespace {

struct DemoArticle {
  const char* Headword;
  const char* Description;
  std::vector<const char*> Media;  // internal names the article shows
};

// Descriptions are written in the markup the program converts: <1> bold,
// <2> italic, <3> underline, <4> transcription font, <5> media, <7> link to
// another headword, <9> bulleted paragraph, &acute; an accent mark.
const std::vector<DemoArticle>& demoArticles() {
  static const std::vector<DemoArticle> articles = {
      {"badge",
       "<1>badge</1> <4>[bædʒ]</4> <2>n.</2> значок, эмблема<9>Картинка PNG с прозрачным фоном: края круга "
       "полупрозрачны, сквозь них виден фон статьи.<5>badge.png</5>",
       {"badge.png"}},
      {"forest",
       "<1>forest</1> <4>[ˈfɒrɪst]</4> <2>n.</2> лес<9>Фотография в формате JPEG.<5>forest.jpg</5>"
       "<9>См. также <7>wolf</7>, <7>fox</7>, <7>owl</7>.",
       {"forest.jpg"}},
      {"spinner",
       "<1>spinner</1> <4>[ˈspɪnə]</4> <2>n.</2> волчок, вертушка<9>Анимированная картинка GIF: точка бежит "
       "по кругу.<5>spinner.gif</5>",
       {"spinner.gif"}},
      {"tiles",
       "<1>tiles</1> <4>[taɪlz]</4> <2>n.</2> <2>pl.</2> плитка, черепица<9>Рисунок в формате BMP."
       "<5>tiles.bmp</5>",
       {"tiles.bmp"}},
      {"bell",
       "<1>bell</1> <4>[bel]</4> <2>n.</2> колокол, колокольчик; звонок<9>Звук в формате WAV: щёлкните по "
       "рамке ниже, и запись откроется в проигрывателе.<5>bell.wav</5>",
       {"bell.wav"}},
      {"gallery",
       "<1>gallery</1> <4>[ˈɡælərɪ]</4> <2>n.</2> галерея<9>Все картинки словаря в одной статье; значок "
       "показан дважды.<5>badge.png</5><5>forest.jpg</5><5>spinner.gif</5><5>tiles.bmp</5><5>badge.png</5>",
       {"badge.png", "forest.jpg", "spinner.gif", "tiles.bmp"}},
      {"markup",
       "<1>markup</1> <4>[ˈmɑːkʌp]</4> <2>n.</2> разметка<9><1>полужирный</1>, <2>курсив</2>, "
       "<3>подчёркнутый</3>, <4>[trænˈskrɪpʃn]</4>, ударе&acute;ние<9>Ссылка на статью: <7>badge</7>."
       "<9>Обычный HTML тоже работает:<BR><TABLE border=\"1\"><TR><TD>ячейка 1</TD><TD>ячейка 2</TD></TR>"
       "</TABLE><9>Внешний адрес открывается браузером: <A href=\"@https://example.org/\">example.org</A>",
       {}},
      {"links",
       "<1>links</1> <2>n.</2> <2>pl.</2> ссылки<9>Щёлкните по слову, чтобы найти его: <7>cat</7>, <7>dog</7>, "
       "<7>ёж</7>, <7>ёлка</7>.",
       {}},
      {"cat",
       "<1>cat</1> <4>[kæt]</4> <2>n.</2> кошка, кот<9>домашнее животное, ловит мышей; любит молоко",
       {}},
      {"dog",
       "<1>dog</1> <4>[dɒɡ]</4> <2>n.</2> собака, пёс<9>домашнее животное, сторожит дом; лает",
       {}},
      {"fox",
       "<1>fox</1> <4>[fɒks]</4> <2>n.</2> лиса, лисица<9>лесной зверь с рыжим мехом и пушистым хвостом; "
       "ловит мышей",
       {}},
      {"wolf",
       "<1>wolf</1> <4>[wʊlf]</4> <2>n.</2> (<2>pl.</2> wolves) волк<9>лесной зверь, живёт стаей; воет на луну",
       {}},
      {"owl",
       "<1>owl</1> <4>[aʊl]</4> <2>n.</2> сова, филин<9>лесная птица, охотится ночью; ловит мышей",
       {}},
      {"bear",
       "<1>bear</1> <4>[beə]</4> <2>n.</2> медведь<9>лесной зверь, зимой спит в берлоге; любит мёд",
       {}},
      {"hedgehog",
       "<1>hedgehog</1> <4>[ˈhedʒhɒɡ]</4> <2>n.</2> <7>ёж</7><9>лесной зверёк с колючками; ловит мышей и жуков",
       {}},
      {"ёж",
       "<1>ёж</1> <2>м.</2> <7>hedgehog</7><9>Слово с буквой «ё»: в поиске его находят и как «ёж», и как «еж»."
       "<5>badge.png</5>",
       {"badge.png"}},
      {"ёлка",
       "<1>ёлка</1> <2>ж.</2> ель, новогоднее дерево; <7>fir</7><9>Растёт в лесу; на Новый год её украшают "
       "игрушками.",
       {}},
      {"ель",
       "<1>ель</1> <2>ж.</2> <7>fir</7>, <7>spruce</7><9>вечнозелёное дерево",
       {}},
      {"fir",
       "<1>fir</1> <4>[fɜː]</4> <2>n.</2> ель, пихта; <7>ёлка</7>",
       {}},
      {"spruce",
       "<1>spruce</1> <4>[spruːs]</4> <2>n.</2> ель<9><2>a.</2> нарядный, щеголеватый",
       {}},
      {"red",
       "<1>red</1> <4>[red]</4> <2>a.</2> <FONT color=\"#C00000\">красный</FONT>; рыжий (о волосах)<9><2>n.</2> "
       "красный цвет",
       {}},
      {"green",
       "<1>green</1> <4>[ɡriːn]</4> <2>a.</2> <FONT color=\"#008000\">зелёный</FONT><9><2>n.</2> зелёный цвет; "
       "лужайка",
       {}},
      {"blue",
       "<1>blue</1> <4>[bluː]</4> <2>a.</2> <FONT color=\"#0000C0\">синий</FONT>, голубой<9><2>n.</2> синий "
       "цвет; небо",
       {}},
      {"ещё",
       "<1>ещё</1> <2>нареч.</2> <7>more</7>, <7>still</7>, <7>yet</7>",
       {}},
  };
  return articles;
}

std::map<std::string, std::string> demoMedia() {
  return {
      {"badge.png", EncodePng(MakeBadgePicture(96))},
      {"forest.jpg", EncodeJpeg(MakeLandscapePicture(200, 130), 85)},
      {"spinner.gif", MakeAnimatedGif(48, 12)},
      {"tiles.bmp", EncodeBmp(MakeLandscapePicture(45, 30))},
      {"bell.wav", MakeBellWave(22050, 0.8, 660.0)},
  };
}

}  // namespace

void BuildDemoDictionary(const std::string& path) {
  const auto media = demoMedia();
  std::vector<Article> articles;
  std::map<std::string, std::vector<const char*>> mediaOf;
  for (const DemoArticle& a : demoArticles()) {
    articles.push_back({a.Headword, a.Description});
    mediaOf[a.Headword] = a.Media;
  }
  SortArticles(articles);
  DictionaryWriter writer(path);
  for (const Article& a : articles) {
    const int64_t id = writer.AddArticle(a);
    for (const char* name : mediaOf[a.Headword]) writer.AddMedia(id, name, media.at(name));
  }
  DictionaryProperties p;
  p.Author = "tamrix";
  p.FullCaption = "Демонстрационный словарь (картинки и звук)";
  p.Description = "Небольшой словарь, на котором видны все возможности статей: картинки PNG, JPEG, GIF и "
                  "BMP, звук, ссылки на другие слова и оформление текста.";
  p.Languages = "en ru";
  p.Version = "1.0";
  p.License = "свободное использование";
  p.ShortName = "demo";
  p.Source = "создан программой сборки словарей tamrix";
  p.Date = "2026";
  p.HasMedia = true;
  writer.Finish(p);
}

}  // namespace dictbuilder
