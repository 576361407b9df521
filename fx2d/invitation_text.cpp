// The invitation the overlay scrolls: nine pages of six lines.
//
// Set in the bar font, every line must fit its 256-pixel bar with room to
// spare (at most 219 pixels; tests/fx2d/kelo_overlay_test.cpp measures them). Upper
// case only: the font has no lower case. The apostrophe is not in the font
// either; it is skipped when drawn, which nudges its line 4 pixels left.
// Empty slots still get their bar, so they space a page out.
#include "fx2d/kelo_overlay.h"

const char g_InvitationText[kTextPages][kTextLines][kTextLineChars] = {
    // A blank page first: each round opens with a pause.
    {"", "", "", "", "", ""},
    {"GREETINGS FROM THE WOODS!",
     "V.E.X.A. INVITES YOU TO",
     "",
     "KELO 2008",
     "A DEMOPARTY AMONG THE PINES",
     "15 - 17 AUGUST 2008"},
    {"THE PLACE",
     "THE OLD SAWMILL",
     "AT HIRSIRANTA",
     "BY LAKE KAARNA",
     "DOORS OPEN FRIDAY AT NOON",
     "LIGHTS OUT SUNDAY EVENING"},
    {"THE COMPETITIONS",
     "DEMO",
     "4K INTRO",
     "MUSIC",
     "PIXEL GRAPHICS",
     "WILD - ANYTHING GOES"},
    {"ENTRIES ON A MEMORY STICK",
     "DEADLINES ON SATURDAY",
     "EVERY VISITOR VOTES",
     "PRIZES FOR THE TOP THREE",
     "IN EVERY COMPETITION",
     "REMOTE ENTRIES WELCOME"},
    {"",
     "SAUNA BY THE LAKE",
     "A CAMPFIRE EVERY NIGHT",
     "SMOKED FISH AND COFFEE",
     "FROM THE SAWMILL KITCHEN",
     ""},
    {"BRING YOUR OWN MACHINE",
     "TABLES AND POWER FOR ALL",
     "BRING A SLEEPING BAG",
     "AND A TENT OR A HAMMOCK",
     "MOSQUITO SPRAY HELPS",
     "WE'LL KEEP THE FIRE GOING"},
    {"",
     "ENTRY IS FREE",
     "ALL PLATFORMS WELCOME",
     "SEE YOU IN THE WOODS!",
     "",
     ""},
    // Greetings: friends of the party from around the lake.
    {"GREETINGS TO",
     "TERVASKANTO - HALLA UNIT",
     "MUSTIKKA OVERDRIVE",
     "KARHUNPESA - SAVUSAUNA 64",
     "ROUTA AND THE PINECONES",
     "AND EVERYONE IN THE WOODS"},
};
