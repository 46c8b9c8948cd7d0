#include "tools/qwpack/brand_options.h"

#include <nlohmann/json.hpp>

#include "tools/qwpack/host/host_files.h"

namespace {

const char kBrandHelp[] =
    "a JSON brand file: the keys name, name-zh, icon, skin, bar-fill, execution-level (each as "
    "its option) and version-info (an object of KEY: VALUE); paths are relative to the file; "
    "options given on the command line override the file";

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
  return path.size() >= 2 && (path[1] == ':' || ((path[0] == '\\' || path[0] == '/') &&
                                                 (path[1] == '\\' || path[1] == '/')));
#else
  return !path.empty() && path[0] == '/';
#endif
}

// The settings of the brand file, as the options would give them; paths
// made relative to the file's folder.
// Pictures and brand files are read whole; none is near this.
constexpr uint64_t kMostBrandFileBytes = 16u << 20;

struct Settings {
  std::optional<std::string> name, nameChinese, icon, skin, barFill, executionLevel;
  std::vector<std::pair<std::string, std::string>> versionInfo;
};

std::string ReadBrandFile(const std::string& path, Settings* settings) {
  std::vector<uint8_t> bytes;
  std::string problem = HostReadSmallFile(path, kMostBrandFileBytes, &bytes);
  if (!problem.empty()) return "--brand " + path + ": " + problem;
  nlohmann::json brand;
  try {
    brand = nlohmann::json::parse(bytes.begin(), bytes.end());
  } catch (const nlohmann::json::exception& error) {
    return "--brand " + path + ": not valid JSON: " + error.what();
  }
  if (!brand.is_object()) return "--brand " + path + ": not a JSON object";
  std::string folder = HostDirectoryOf(path);
  std::vector<std::string> problems;
  auto text = [&](const std::string& key, std::optional<std::string>* value, bool isPath) {
    const nlohmann::json& field = brand[key];
    if (!field.is_string())
      return problems.push_back("--brand " + path + ": " + key + " is not a string");
    std::string given = field.get<std::string>();
    *value = isPath && !IsAbsolute(given) ? folder + kHostSeparator + given : given;
  };
  for (const auto& item : brand.items()) {
    const std::string& key = item.key();
    if (key == "name") {
      text(key, &settings->name, false);
    } else if (key == "name-zh") {
      text(key, &settings->nameChinese, false);
    } else if (key == "icon") {
      text(key, &settings->icon, true);
    } else if (key == "skin") {
      text(key, &settings->skin, true);
    } else if (key == "bar-fill") {
      text(key, &settings->barFill, true);
    } else if (key == "execution-level") {
      text(key, &settings->executionLevel, false);
    } else if (key == "version-info" && item.value().is_object()) {
      for (const auto& pair : item.value().items()) {
        if (pair.value().is_string())
          settings->versionInfo.emplace_back(pair.key(), pair.value().get<std::string>());
        else
          problems.push_back("--brand " + path + ": version-info " + pair.key() +
                             " is not a string");
      }
    } else if (key == "version-info") {
      problems.push_back("--brand " + path + ": version-info is not an object of KEY: VALUE");
    } else {
      problems.push_back("--brand " + path + ": unknown key " + key);
    }
  }
  std::string all;
  for (const std::string& each : problems) all += (all.empty() ? "" : "\n") + each;
  return all;
}

void Override(const CLI::App& app, const char* option, const std::string& value,
              std::optional<std::string>* setting) {
  if (app.count(option)) *setting = value;
}

// The picture at `path`, labelled with the option that names it.
std::optional<BrandFile> ReadPicture(const char* option, const std::optional<std::string>& path,
                                     std::vector<std::string>* problems) {
  if (!path) return std::nullopt;
  BrandFile file{std::string(option) + " " + *path, {}};
  std::string problem = HostReadSmallFile(*path, kMostBrandFileBytes, &file.bytes);
  if (!problem.empty()) {
    problems->push_back(file.label + ": " + problem);
    return std::nullopt;
  }
  return file;
}

}  // namespace

void AddBrandOptions(CLI::App& app, BrandOptions* options) {
  options->app = &app;
  const char* group = "Brand";  // one word: the manual page takes headings of one
  app.add_option("--brand", options->brandFile, kBrandHelp)->group(group);
  app.add_option("--name", options->name,
                 "the product's name: the caption of the window and of the message boxes "
                 "(also the Chinese one unless --name-zh is given)")
      ->group(group);
  app.add_option("--name-zh", options->nameChinese,
                 "the product's name on Simplified Chinese systems")
      ->group(group);
  app.add_option("--icon", options->icon, "an .ico file: every image becomes the program's icon")
      ->group(group);
  app.add_option("--skin", options->skin,
                 "the window's background: a 400 x 300 BMP, uncompressed, 24 or 32 bits")
      ->group(group);
  app.add_option("--bar-fill", options->barFill,
                 "the bar's fill: a BMP 1 pixel wide and 1 to 64 high (the bar's height less "
                 "its frame), uncompressed, 24 or 32 bits")
      ->group(group);
  app.add_option("--version-info", options->versionInfo,
                 "KEY=VALUE for the version resource, repeatable: CompanyName, FileDescription, "
                 "ProductName, ProductVersion, FileVersion, LegalCopyright, OriginalFilename, "
                 "InternalName, Comments; FileVersion and ProductVersion also set the numeric "
                 "versions")
      ->group(group);
  app.add_option("--execution-level", options->executionLevel,
                 "asInvoker, highestAvailable or requireAdministrator (the default)")
      ->group(group);
}

std::string LoadBrand(const BrandOptions& options, Brand* brand, std::vector<std::string>* inputs) {
  *brand = Brand();
  Settings settings;
  const CLI::App& app = *options.app;
  if (app.count("--brand")) {
    std::string problem = ReadBrandFile(options.brandFile, &settings);
    if (!problem.empty()) return problem;
    inputs->push_back(options.brandFile);
  }
  std::vector<std::string> problems;
  Override(app, "--name", options.name, &settings.name);
  Override(app, "--name-zh", options.nameChinese, &settings.nameChinese);
  Override(app, "--icon", options.icon, &settings.icon);
  Override(app, "--skin", options.skin, &settings.skin);
  Override(app, "--bar-fill", options.barFill, &settings.barFill);
  Override(app, "--execution-level", options.executionLevel, &settings.executionLevel);
  for (const std::string& pair : options.versionInfo) {
    size_t equals = pair.find('=');
    if (equals == std::string::npos)
      problems.push_back("--version-info " + pair + ": not KEY=VALUE");
    else
      settings.versionInfo.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
  }
  brand->name = settings.name;
  brand->nameChinese = settings.nameChinese;
  brand->executionLevel = settings.executionLevel;
  brand->versionInfo = settings.versionInfo;
  brand->icon = ReadPicture("--icon", settings.icon, &problems);
  brand->skin = ReadPicture("--skin", settings.skin, &problems);
  brand->barFill = ReadPicture("--bar-fill", settings.barFill, &problems);
  for (const auto* picture : {&settings.icon, &settings.skin, &settings.barFill})
    if (*picture) inputs->push_back(**picture);
  std::string all;
  for (const std::string& problem : problems) all += (all.empty() ? "" : "\n") + problem;
  return all;
}
