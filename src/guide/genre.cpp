#include "guide/genre.h"

#include <array>
#include <string_view>

namespace vantiro {
namespace {

using Names = std::array<std::string_view, 16>;

// Index 0 of every row is the general name of level 1 (level 2 = 0).
constexpr std::array<Names, 12> kGenres = {{
    {},
    {"Movie/Drama", "Detective/Thriller", "Adventure/Western/War", "Science fiction/Fantasy/Horror", "Comedy",
     "Soap/Melodrama/Folklore", "Romance", "Serious/Classical/Religious/Historical movie/Drama",
     "Adult movie/Drama"},
    {"News/Current affairs", "News/Weather report", "News magazine", "Documentary", "Discussion/Interview/Debate"},
    {"Show/Game show", "Game show/Quiz/Contest", "Variety show", "Talk show"},
    {"Sports", "Special events", "Sports magazines", "Football/Soccer", "Tennis/Squash", "Team sports",
     "Athletics", "Motor sport", "Water sport", "Winter sports", "Equestrian", "Martial sports"},
    {"Children's/Youth programmes", "Pre-school children's programmes", "Entertainment programmes for 6 to 14",
     "Entertainment programmes for 10 to 16", "Informational/Educational/School programmes",
     "Cartoons/Puppets"},
    {"Music/Ballet/Dance", "Rock/Pop", "Serious music/Classical music", "Folk/Traditional music", "Jazz",
     "Musical/Opera", "Ballet"},
    {"Arts/Culture", "Performing arts", "Fine arts", "Religion", "Popular culture/Traditional arts", "Literature",
     "Film/Cinema", "Experimental film/Video", "Broadcasting/Press", "New media", "Arts/Culture magazines",
     "Fashion"},
    {"Social/Political issues/Economics", "Magazines/Reports/Documentary", "Economics/Social advisory",
     "Remarkable people"},
    {"Education/Science/Factual topics", "Nature/Animals/Environment", "Technology/Natural sciences",
     "Medicine/Physiology/Psychology", "Foreign countries/Expeditions", "Social/Spiritual sciences",
     "Further education", "Languages"},
    {"Leisure hobbies", "Tourism/Travel", "Handicraft", "Motoring", "Fitness and health", "Cooking",
     "Advertisement/Shopping", "Gardening"},
    {"Special characteristics", "Original language", "Black and white", "Unpublished", "Live broadcast",
     "Plano-stereoscopic", "Local or regional"},
}};

}  // namespace

std::string genreName(std::uint8_t nibbles) {
    std::size_t level1 = nibbles >> 4;
    std::size_t level2 = nibbles & 0x0F;
    if (level1 == 0 || level1 >= kGenres.size()) return {};
    const Names& row = kGenres[level1];
    if (!row[level2].empty()) return std::string(row[level2]);
    return std::string(row[0]);
}

}  // namespace vantiro
