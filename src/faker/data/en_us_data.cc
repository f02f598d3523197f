// Word lists and formats of the "en_US" Faker locale.
#include "faker/locale_data.h"

namespace tesk_privacy::faker::internal {
namespace {

constexpr std::string_view kFirstNamesMale[] = {
    "James", "John", "Robert", "Michael", "William", "David", "Richard", "Joseph", "Thomas",
    "Charles", "Christopher", "Daniel", "Matthew", "Anthony", "Mark", "Donald", "Steven", "Paul",
    "Andrew", "Joshua", "Kenneth", "Kevin", "Brian", "George", "Timothy", "Ronald", "Edward",
    "Jason", "Jeffrey", "Ryan", "Jacob", "Gary", "Nicholas", "Eric", "Jonathan", "Stephen",
    "Larry", "Justin", "Scott", "Brandon", "Benjamin", "Samuel", "Gregory", "Alexander", "Frank",
    "Patrick", "Raymond", "Jack", "Dennis", "Jerry", "Tyler", "Aaron", "Jose", "Adam", "Nathan",
    "Henry", "Douglas", "Zachary", "Peter", "Kyle", "Ethan", "Walter", "Noah", "Jeremy",
    "Christian", "Keith", "Roger", "Terry", "Gerald", "Harold", "Sean", "Austin", "Carl", "Arthur",
    "Lawrence", "Dylan", "Jesse", "Jordan", "Bryan", "Billy", "Joe", "Bruce", "Gabriel", "Logan",
    "Albert", "Willie", "Alan", "Juan", "Wayne", "Elijah", "Randy", "Roy", "Vincent", "Ralph",
    "Eugene", "Russell", "Bobby", "Mason", "Philip", "Louis", "Liam", "Lucas", "Oliver", "Caleb",
    "Luke", "Isaac", "Owen", "Wyatt", "Hunter", "Connor", "Evan", "Carter", "Jayden", "Isaiah",
    "Landon", "Adrian", "Cole", "Chase", "Ian", "Blake", "Garrett", "Travis", "Derek", "Marcus",
    "Victor", "Shawn", "Curtis", "Troy", "Todd", "Craig", "Martin", "Seth", "Grant", "Spencer",
    "Trevor", "Mitchell", "Dustin", "Cody", "Corey", "Brett", "Colin", "Miguel", "Carlos", "Luis",
    "Antonio", "Diego", "Hector", "Manuel", "Ricardo", "Omar", "Andre", "Darius", "Malik",
    "Terrence", "Jamal", "Dominic", "Xavier", "Julian", "Maxwell", "Levi", "Eli", "Micah",
    "Tristan", "Brady", "Dalton", "Gavin", "Parker", "Wesley", "Clayton", "Calvin", "Franklin",
    "Harvey", "Leonard", "Howard", "Stanley", "Glenn", "Dale", "Clifford", "Neil", "Allen",
    "Edwin", "Marvin", "Melvin", "Gordon", "Lloyd", "Fred", "Chester", "Jared", "Preston",
    "Shane", "Nolan", "Jasper", "Everett", "Miles", "Declan", "Silas", "Emmett", "Bennett",
};

constexpr std::string_view kFirstNamesFemale[] = {
    "Mary", "Patricia", "Jennifer", "Linda", "Elizabeth", "Barbara", "Susan", "Jessica", "Sarah",
    "Karen", "Lisa", "Nancy", "Betty", "Margaret", "Sandra", "Ashley", "Kimberly", "Emily",
    "Donna", "Michelle", "Carol", "Amanda", "Dorothy", "Melissa", "Deborah", "Stephanie",
    "Rebecca", "Sharon", "Laura", "Cynthia", "Kathleen", "Amy", "Angela", "Shirley", "Anna",
    "Brenda", "Pamela", "Emma", "Nicole", "Helen", "Samantha", "Katherine", "Christine", "Debra",
    "Rachel", "Carolyn", "Janet", "Catherine", "Maria", "Heather", "Diane", "Ruth", "Julie",
    "Olivia", "Joyce", "Virginia", "Victoria", "Kelly", "Lauren", "Christina", "Joan", "Evelyn",
    "Judith", "Megan", "Andrea", "Cheryl", "Hannah", "Jacqueline", "Martha", "Gloria", "Teresa",
    "Ann", "Sara", "Madison", "Frances", "Kathryn", "Janice", "Jean", "Abigail", "Alice", "Judy",
    "Sophia", "Grace", "Denise", "Amber", "Doris", "Marilyn", "Danielle", "Beverly", "Isabella",
    "Theresa", "Diana", "Natalie", "Brittany", "Charlotte", "Marie", "Kayla", "Alexis", "Lori",
    "Ava", "Mia", "Harper", "Ella", "Chloe", "Zoe", "Lily", "Addison", "Aubrey", "Layla",
    "Scarlett", "Aria", "Nora", "Hazel", "Violet", "Aurora", "Savannah", "Audrey", "Brooklyn",
    "Bella", "Claire", "Skylar", "Lucy", "Paisley", "Everly", "Caroline", "Nova", "Emilia",
    "Kennedy", "Valentina", "Naomi", "Elena", "Sadie", "Allison", "Gabriella", "Madelyn", "Cora",
    "Ruby", "Eva", "Autumn", "Adeline", "Hailey", "Gianna", "Eliana", "Quinn", "Ivy", "Sydney",
    "Jasmine", "Vanessa", "Erin", "Tiffany", "Crystal", "Monica", "Erica", "Tara", "Leslie",
    "Wendy", "Tracy", "Dana", "Holly", "Melanie", "Kristen", "Courtney", "Molly", "Paige",
    "Brianna", "Alyssa", "Jenna", "Kaitlyn", "Mackenzie", "Lindsey", "Meredith", "Shannon",
    "Stacy", "Tamara", "Yvonne", "Vera", "Rosa", "Lucia", "Carmen", "Ana", "Jill", "Rita",
    "Beth", "Sheila", "Connie", "Edith", "Irene", "Lillian", "Marjorie", "Norma", "Peggy",
};

constexpr std::string_view kLastNames[] = {
    "Smith", "Johnson", "Williams", "Brown", "Jones", "Garcia", "Miller", "Davis", "Rodriguez",
    "Martinez", "Hernandez", "Lopez", "Gonzalez", "Wilson", "Anderson", "Thomas", "Taylor",
    "Moore", "Jackson", "Martin", "Lee", "Perez", "Thompson", "White", "Harris", "Sanchez",
    "Clark", "Ramirez", "Lewis", "Robinson", "Walker", "Young", "Allen", "King", "Wright",
    "Scott", "Torres", "Nguyen", "Hill", "Flores", "Green", "Adams", "Nelson", "Baker", "Hall",
    "Rivera", "Campbell", "Mitchell", "Carter", "Roberts", "Gomez", "Phillips", "Evans",
    "Turner", "Diaz", "Parker", "Cruz", "Edwards", "Collins", "Reyes", "Stewart", "Morris",
    "Morales", "Murphy", "Cook", "Rogers", "Gutierrez", "Ortiz", "Morgan", "Cooper", "Peterson",
    "Bailey", "Reed", "Kelly", "Howard", "Ramos", "Kim", "Cox", "Ward", "Richardson", "Watson",
    "Brooks", "Chavez", "Wood", "James", "Bennett", "Gray", "Mendoza", "Ruiz", "Hughes", "Price",
    "Alvarez", "Castillo", "Sanders", "Patel", "Myers", "Long", "Ross", "Foster", "Jimenez",
    "Powell", "Jenkins", "Perry", "Russell", "Sullivan", "Bell", "Coleman", "Butler", "Henderson",
    "Barnes", "Gonzales", "Fisher", "Vasquez", "Simmons", "Romero", "Jordan", "Patterson",
    "Alexander", "Hamilton", "Graham", "Reynolds", "Griffin", "Wallace", "Moreno", "West", "Cole",
    "Hayes", "Bryant", "Herrera", "Gibson", "Ellis", "Tran", "Medina", "Aguilar", "Stevens",
    "Murray", "Ford", "Castro", "Marshall", "Owens", "Harrison", "Fernandez", "McDonald", "Woods",
    "Washington", "Kennedy", "Wells", "Vargas", "Henry", "Chen", "Freeman", "Webb", "Tucker",
    "Guzman", "Burns", "Crawford", "Olson", "Simpson", "Porter", "Hunter", "Gordon", "Mendez",
    "Silva", "Shaw", "Snyder", "Mason", "Dixon", "Munoz", "Hunt", "Hicks", "Holmes", "Palmer",
    "Wagner", "Black", "Robertson", "Boyd", "Rose", "Stone", "Salazar", "Fox", "Warren", "Mills",
    "Meyer", "Rice", "Schmidt", "Garza", "Daniels", "Ferguson", "Nichols", "Stephens", "Soto",
    "Weaver", "Ryan", "Gardner", "Payne", "Grant", "Dunn", "Kelley", "Spencer", "Hawkins",
    "Arnold", "Pierce", "Vazquez", "Hansen", "Peters", "Santos", "Hart", "Bradley", "Knight",
    "Elliott", "Cunningham", "Duncan", "Armstrong", "Hudson", "Carroll", "Lane", "Riley",
    "Andrews", "Alvarado", "Ray", "Delgado", "Berry", "Perkins", "Hoffman", "Johnston",
    "Matthews", "Pena", "Richards", "Contreras", "Willis", "Carpenter", "Lawrence", "Sandoval",
    "Guerrero", "George", "Chapman", "Rios", "Estrada", "Ortega", "Watkins", "Greene", "Nunez",
    "Wheeler", "Valdez", "Harper", "Burke", "Larson", "Santiago", "Maldonado", "Morrison",
    "Franklin", "Carlson", "Austin", "Dominguez", "Carr", "Lawson", "Jacobs", "O'Brien", "Lynch",
    "Singh", "Vega", "Bishop", "Montgomery", "Oliver", "Jensen", "Harvey", "Williamson",
    "Gilbert", "Dean", "Sims", "Espinoza", "Howell", "Li", "Wong", "Reid", "Hanson", "McCoy",
    "Garrett", "Burton", "Fuller", "Wang", "Weber", "Welch", "Rojas", "Lucas", "Marquez",
    "Fields", "Park", "Yang", "Little", "Banks", "Padilla", "Day", "Walsh", "Bowman", "Schultz",
    "Luna", "Fowler", "Mejia", "Davidson", "Acosta", "Brewer", "Holland", "Juarez", "Newman",
    "Pearson", "Curtis", "Cortez", "Douglas", "Schneider", "Barrett", "Navarro", "Figueroa",
    "Keller", "Avila", "Wade", "Molina", "Stanley", "Hopkins", "Campos", "Barnett", "Bates",
    "Chambers", "Caldwell", "Beck", "Lambert", "Miranda", "Byrd", "Craig", "Ayala", "Lowe",
    "Frazier", "Powers", "Neal", "Leonard", "Gregory", "Carrillo", "Sutton", "Fleming", "Rhodes",
    "Shelton", "Schwartz", "Norris", "Jennings", "Watts", "Duran", "Walters", "Cohen",
    "McDaniel", "Moran", "Parks", "Steele", "Vaughn", "Becker", "Holt", "Barker", "Hale",
};

constexpr std::string_view kPrefixesMale[] = {"Mr.", "Dr."};
constexpr std::string_view kPrefixesFemale[] = {"Mrs.", "Ms.", "Miss", "Dr."};
constexpr std::string_view kSuffixes[] = {"Jr.", "Sr.", "II", "III", "MD", "PhD", "DDS", "DVM"};

constexpr std::string_view kCities[] = {
    "New York", "Los Angeles", "Chicago", "Houston", "Phoenix", "Philadelphia", "San Antonio",
    "San Diego", "Dallas", "San Jose", "Austin", "Jacksonville", "Fort Worth", "Columbus",
    "Charlotte", "Indianapolis", "San Francisco", "Seattle", "Denver", "Oklahoma City",
    "Nashville", "El Paso", "Washington", "Boston", "Las Vegas", "Portland", "Detroit",
    "Louisville", "Memphis", "Baltimore", "Milwaukee", "Albuquerque", "Fresno", "Tucson",
    "Sacramento", "Mesa", "Kansas City", "Atlanta", "Omaha", "Colorado Springs", "Raleigh",
    "Long Beach", "Virginia Beach", "Miami", "Oakland", "Minneapolis", "Tulsa", "Bakersfield",
    "Wichita", "Arlington", "Aurora", "Tampa", "New Orleans", "Cleveland", "Honolulu", "Anaheim",
    "Lexington", "Stockton", "Corpus Christi", "Henderson", "Riverside", "Newark", "Saint Paul",
    "Santa Ana", "Cincinnati", "Irvine", "Orlando", "Pittsburgh", "St. Louis", "Greensboro",
    "Jersey City", "Anchorage", "Lincoln", "Plano", "Durham", "Buffalo", "Chandler",
    "Chula Vista", "Toledo", "Madison", "Gilbert", "Reno", "Fort Wayne", "North Las Vegas",
    "St. Petersburg", "Lubbock", "Irving", "Laredo", "Winston-Salem", "Chesapeake", "Glendale",
    "Garland", "Scottsdale", "Norfolk", "Boise", "Fremont", "Spokane", "Santa Clarita",
    "Baton Rouge", "Richmond", "Hialeah", "San Bernardino", "Tacoma", "Modesto", "Huntsville",
    "Des Moines", "Yonkers", "Rochester", "Moreno Valley", "Fayetteville", "Fontana",
    "Worcester", "Port St. Lucie", "Little Rock", "Augusta", "Oxnard", "Birmingham",
    "Montgomery", "Frisco", "Amarillo", "Salt Lake City", "Grand Rapids", "Huntington Beach",
    "Overland Park", "Grand Prairie", "Tallahassee", "Cape Coral", "Mobile", "Knoxville",
    "Shreveport", "Ontario", "Vancouver", "Sioux Falls", "Chattanooga", "Brownsville",
    "Fort Lauderdale", "Providence", "Newport News", "Rancho Cucamonga", "Santa Rosa", "Peoria",
    "Oceanside", "Elk Grove", "Salem", "Pembroke Pines", "Eugene", "Garden Grove", "Cary",
    "Fort Collins", "Corona", "Springfield", "Jackson", "Alexandria", "Hayward", "Clarksville",
    "Lakewood", "Lancaster", "Salinas", "Palmdale", "Hollywood", "Macon", "Sunnyvale", "Pomona",
    "Killeen", "Escondido", "Pasadena", "Naperville", "Bellevue", "Joliet", "Murfreesboro",
    "Midland", "Rockford", "Paterson", "Savannah", "Bridgeport", "Torrance", "McAllen",
    "Syracuse", "Surprise", "Denton", "Roseville", "Thornton", "Miramar", "Mesquite", "Olathe",
    "Dayton", "Carrollton", "Waco", "Orange", "Fullerton", "Charleston", "West Valley City",
    "Visalia", "Hampton", "Gainesville", "Warren", "Coral Springs", "Cedar Rapids", "Round Rock",
    "Sterling Heights", "Kent", "Columbia", "Santa Clara", "New Haven", "Stamford", "Concord",
    "Elizabeth", "Athens", "Thousand Oaks", "Lafayette", "Simi Valley", "Topeka", "Norman",
    "Fargo", "Wilmington", "Abilene", "Odessa", "Pearland", "Victorville", "Hartford", "Vallejo",
    "Allentown", "Berkeley", "Richardson", "Arvada", "Ann Arbor", "Cambridge", "Sugar Land",
    "Lansing", "Evansville", "College Station", "Fairfield", "Clearwater", "Beaumont",
    "Independence", "Provo", "West Jordan", "Murrieta", "Palm Bay", "El Monte", "Carlsbad",
    "Temecula", "Clovis", "Meridian", "Westminster", "Costa Mesa", "High Point", "Manchester",
    "Pueblo", "Lakeland", "Pompano Beach", "West Palm Beach", "Antioch", "Everett", "Downey",
    "Lowell", "Centennial", "Elgin", "Broken Arrow", "Miami Gardens", "Billings", "Sandy Springs",
    "Gresham", "Lewisville", "Hillsboro", "Ventura", "Greeley", "Inglewood", "Waterbury",
    "League City", "Santa Maria", "Tyler", "Davie", "Boulder", "Green Bay", "Burbank", "Rialto",
    "Duluth", "Bend", "Missoula", "Flagstaff", "Asheville", "Burlington", "Bangor", "Cheyenne",
    "Casper", "Bozeman", "Juneau", "Fairbanks", "Santa Fe", "Las Cruces", "Olympia", "Yakima",
    "Eau Claire", "Kalamazoo", "Flint", "Saginaw", "Akron", "Canton", "Youngstown", "Erie",
    "Scranton", "Harrisburg", "Trenton", "Camden", "Atlantic City", "Albany", "Ithaca", "Utica",
    "Binghamton", "Montpelier", "Nashua", "Portsmouth", "Dover", "Annapolis", "Frederick",
    "Roanoke", "Lynchburg", "Charlottesville", "Greenville", "Spartanburg", "Myrtle Beach",
    "Tuscaloosa", "Biloxi", "Gulfport", "Hattiesburg", "Jonesboro",
    "Springdale", "Joplin", "Sioux City", "Davenport", "Dubuque", "Rapid City",
    "Bismarck", "Grand Forks", "Great Falls", "Idaho Falls", "Pocatello", "Ogden", "St. George",
    "Prescott", "Yuma", "Santa Barbara", "Monterey", "Redding", "Eureka", "Medford",
};

constexpr std::string_view kStreetNames[] = {
    "Main", "Oak", "Maple", "Pine", "Cedar", "Elm", "Washington", "Lake", "Hill", "Park",
    "Walnut", "Spring", "North", "Ridge", "Church", "Willow", "Mill", "Sunset", "Railroad",
    "Jackson", "Cherry", "Highland", "Madison", "Lincoln", "Franklin", "Jefferson", "Adams",
    "Center", "Meadow", "River", "Forest", "Chestnut", "Hickory", "Dogwood", "Magnolia",
    "Sycamore", "Birch", "Aspen", "Laurel", "Poplar", "Spruce", "Juniper", "Cypress", "Holly",
    "Ivy", "Valley", "Lakeview", "Hillcrest", "Woodland", "Fairview", "Orchard", "Prospect",
    "Pleasant", "Union", "Liberty", "Market", "Water", "School", "High", "Broad", "Front",
    "College", "Grove", "Summit", "Bridge", "Canal", "Harbor", "Bay", "Ocean", "Beach", "Shore",
    "Canyon", "Mesa", "Sierra", "Vista", "Mountain View", "Pinecrest", "Cottonwood", "Mulberry",
    "Redwood", "Heritage", "Colonial", "Country Club", "Kingston", "Windsor", "Lexington",
    "Monroe", "Hamilton", "Grant", "Wilson", "Roosevelt", "Kennedy", "Cleveland", "Garfield",
    "Harrison", "Sherman", "Bayview", "Riverside", "Greenwood", "Brookside", "Evergreen",
    "Hawthorn", "Sunrise", "Quail Run", "Deer Creek", "Fox Hollow", "Mill Pond", "Old Mill",
};

constexpr std::string_view kStreetSuffixes[] = {
    "Street", "Avenue", "Road", "Drive", "Lane", "Boulevard", "Court", "Place", "Way", "Circle",
    "Terrace", "Parkway", "Trail",
};

constexpr std::string_view kCompanyWords[] = {
    "Summit", "Pinnacle", "Apex", "Horizon", "Atlas", "Pioneer", "Liberty", "Pacific", "Atlantic",
    "Northwind", "Bluewater", "Redstone", "Silverline", "Evergreen", "Keystone", "Frontier",
    "Heritage", "Meridian", "Vanguard", "Crescent", "Sterling", "Granite", "Ironwood", "Oakridge",
    "Riverstone", "Lakeside", "Cornerstone", "Clearview", "Northstar", "Trident", "Beacon",
    "Harbor", "Coastal", "Prairie", "Canyon", "Cascade", "Everest", "Falcon", "Eagle", "Phoenix",
    "Titan", "Nova", "Orion", "Vertex", "Zenith", "Quantum", "Nexus", "Vector", "Bright",
    "Union", "Patriot", "Lone Star", "Golden State", "Empire", "Great Lakes", "Midwest",
    "Southern", "Western", "Eastern", "Central", "United", "American", "National", "Allied",
    "Premier", "Paramount", "Sentinel", "Guardian", "Landmark", "Bluebird", "Copperleaf",
};

constexpr std::string_view kCompanyIndustries[] = {
    "Logistics", "Systems", "Solutions", "Holdings", "Partners", "Industries", "Technologies",
    "Foods", "Energy", "Capital", "Consulting", "Analytics", "Health", "Pharmaceuticals", "Media",
    "Construction", "Manufacturing", "Software", "Networks", "Labs", "Robotics", "Motors",
    "Insurance", "Financial", "Realty", "Properties", "Ventures", "Enterprises", "Trading",
    "Textiles", "Apparel", "Hospitality", "Beverages", "Agriculture", "Biotech", "Security",
    "Communications", "Electronics", "Engineering", "Marine", "Mining", "Steel", "Plastics",
    "Paper", "Printing", "Publishing", "Studios", "Outfitters", "Supply", "Distribution",
    "Services", "Freight", "Aerospace", "Dynamics", "Medical", "Dental", "Home Care",
};

constexpr std::string_view kCompanySuffixes[] = {"Inc", "LLC", "Ltd", "Group", "PLC", "Corp", "and Sons"};

constexpr std::string_view kFreeEmailDomains[] = {
    "gmail.com", "yahoo.com", "hotmail.com", "outlook.com", "aol.com", "icloud.com",
    "protonmail.com", "live.com",
};

// "com" repeated: it is the most common top-level domain.
constexpr std::string_view kTlds[] = {"com", "com", "com", "net", "org", "info", "biz", "us"};

constexpr WordList kWordLists[] = {
    {"first_name_male", kFirstNamesMale},
    {"first_name_female", kFirstNamesFemale},
    {"last_name", kLastNames},
    {"prefix_male", kPrefixesMale},
    {"prefix_female", kPrefixesFemale},
    {"suffix", kSuffixes},
    {"city", kCities},
    {"street_name", kStreetNames},
    {"street_suffix", kStreetSuffixes},
    {"company_word", kCompanyWords},
    {"company_industry", kCompanyIndustries},
    {"company_suffix", kCompanySuffixes},
    {"free_email_domain", kFreeEmailDomains},
    {"tld", kTlds},
};

constexpr WeightedFormat kNameFormats[] = {
    {"{first_name_male} {last_name}", 44},
    {"{first_name_female} {last_name}", 44},
    {"{prefix_male} {first_name_male} {last_name}", 3},
    {"{prefix_female} {first_name_female} {last_name}", 3},
    {"{first_name_male} {last_name} {suffix}", 3},
    {"{first_name_female} {last_name} {suffix}", 3},
};

constexpr WeightedFormat kFirstNameFormats[] = {
    {"{first_name_male}", 1},
    {"{first_name_female}", 1},
};

constexpr WeightedFormat kStreetAddressFormats[] = {
    {"%## {street_name} {street_suffix}", 5},
    {"%### {street_name} {street_suffix}", 3},
    {"%# {street_name} {street_suffix}", 2},
    {"%## {street_name} {street_suffix} Apt. %#", 1},
    {"%### {street_name} {street_suffix} Suite %##", 1},
};

constexpr WeightedFormat kCompanyFormats[] = {
    {"{last_name} {company_suffix}", 3},
    {"{last_name}-{last_name}", 2},
    {"{last_name}, {last_name} and {last_name}", 1},
    {"{company_word} {company_industry}", 3},
    {"{last_name} {company_industry}", 2},
    {"{company_word} {company_industry} {company_suffix}", 1},
};

// North American numbers: area code and exchange begin with 2-9.
constexpr WeightedFormat kPhoneFormats[] = {
    {"^##-^##-####", 4},
    {"(^##) ^##-####", 4},
    {"^##.^##.####", 2},
    {"+1-^##-^##-####", 3},
    {"^##^######", 2},
    {"001-^##-^##-####", 1},
    {"^##-^##-####x###", 1},
    {"(^##)^##-####x####", 1},
};

constexpr FormatList kFormatLists[] = {
    {"name", kNameFormats},
    {"first_name", kFirstNameFormats},
    {"street_address", kStreetAddressFormats},
    {"company", kCompanyFormats},
    {"phone_number", kPhoneFormats},
};

constexpr LocaleData kEnUs{"en_US", "GB", kWordLists, kFormatLists};

}  // namespace

const LocaleData& en_us_data() { return kEnUs; }

}  // namespace tesk_privacy::faker::internal
