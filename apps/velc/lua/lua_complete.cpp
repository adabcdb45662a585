// The Lua API calls that may raise (allocation, metamethods, the iteration's own functions) run
// inside C functions under lua_pcall that keep no C++ object alive: a Lua error never unwinds
// a C++ frame. They leave their candidates in a Lua table that the C++ side then reads.
#include "lua/lua_complete.h"

#include <glob.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

#include "lua/lua_runner.h"

const char* const lua_keywords[21] = {"and",  "break", "do",    "else",     "elseif", "end",
                                      "false", "for",  "function", "if", "in",   "local",
                                      "nil",  "not",   "or",    "repeat", "return", "then",
                                      "true", "until", "while"};

namespace {

constexpr char kSeparators[] = " \t\n`@$><=;|&{(";

// Bytes handed to a protected C function.
struct Bytes {
  const char* data;
  size_t size;
};

// The strings of the table on top of the stack, 1..n, appended to `out`; pops the table. Reads
// only (no allocation in Lua, no error).
void take_strings(lua_State* L, std::vector<std::string>& out) {
  for (lua_Integer i = 1;; ++i) {
    if (lua_rawgeti(L, -1, i) != LUA_TSTRING) {
      lua_pop(L, 1);
      break;
    }
    size_t n = 0;
    const char* s = lua_tolstring(L, -1, &n);
    out.emplace_back(s, n);
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
}

// Appends the string on top of the stack to the candidates table at `table` (popping it).
void append(lua_State* L, int table) {
  lua_rawseti(L, table, static_cast<lua_Integer>(lua_rawlen(L, table)) + 1);
}

// One key and value of the object (at -2 and -1) against the word; a kept candidate goes into
// the table at index 2. Below them the stack holds: 1 word, 2 candidates, 3 separator
// position (-1: none), 4 field prefix.
void consider(lua_State* L) {
  const int key = lua_gettop(L) - 1, value = key + 1;
  const lua_Integer sep_pos = lua_tointeger(L, 3);
  const char* word = lua_tostring(L, 1);
  const char sep = sep_pos >= 0 ? word[sep_pos] : '\0';
  size_t prefix_len = 0;
  const char* prefix = lua_tolstring(L, 4, &prefix_len);

  // What the value offers after it: fields of a non-empty table (and the type of its first
  // key), a function's call.
  int first_key_type = LUA_TNONE;
  const int vtype = lua_type(L, value);
  if (vtype == LUA_TTABLE) {
    lua_pushnil(L);
    if (lua_next(L, value)) {
      first_key_type = lua_type(L, -2);
      lua_pop(L, 2);
    }
  }
  if (sep == ':' && vtype != LUA_TFUNCTION) return;

  const int ktype = lua_type(L, key);
  if (sep == '[') {
    if (ktype == LUA_TNUMBER) {
      const lua_Number k = lua_tonumber(L, key);
      if (!(std::fabs(k) < 9.2e18)) return;  // no integer to write (and no defined conversion)
      const auto whole = static_cast<long long>(k);
      if (std::fabs(k - static_cast<lua_Number>(whole)) >= 0.000001) return;
      lua_pushfstring(L, "%I]", static_cast<lua_Integer>(whole));
    } else if (ktype == LUA_TSTRING) {
      const char* quote = prefix_len > 0 && prefix[0] == '\'' ? "'" : "\"";
      lua_pushfstring(L, "%s%s%s]", quote, lua_tostring(L, key), quote);
    } else {
      return;
    }
  } else if (ktype == LUA_TSTRING) {
    lua_pushvalue(L, key);
  } else {
    return;
  }
  size_t cand_len = 0;
  const char* cand = lua_tolstring(L, -1, &cand_len);
  if (cand_len < prefix_len || std::memcmp(cand, prefix, prefix_len) != 0) {
    lua_pop(L, 1);
    return;
  }
  const bool whole = cand_len == prefix_len;
  lua_pushlstring(L, word, sep_pos >= 0 ? static_cast<size_t>(sep_pos) + 1 : 0);
  lua_rotate(L, -2, 1);  // the word's head below the candidate
  if (whole && vtype == LUA_TFUNCTION) {
    lua_pushliteral(L, "(");
  } else if (whole && first_key_type == LUA_TSTRING) {
    lua_pushliteral(L, ".");
  } else if (whole && first_key_type != LUA_TNONE) {
    lua_pushliteral(L, "[");
  } else {
    lua_pushliteral(L, "");
  }
  lua_concat(L, 3);
  append(L, 2);
}

// Steps the iteration whose function, state and control stand at `iter`, iter+1, iter+2 until
// it ends or fails, considering every pair.
void iterate(lua_State* L, int iter) {
  for (;;) {
    lua_settop(L, iter + 2);
    lua_pushvalue(L, iter);
    lua_pushvalue(L, iter + 1);
    lua_pushvalue(L, iter + 2);
    if (lua_pcall(L, 2, 2, 0) != LUA_OK || lua_isnil(L, -2)) break;
    lua_pushvalue(L, -2);
    lua_replace(L, iter + 2);  // the next control value
    consider(L);
  }
  lua_settop(L, iter - 1);
}

// Protected: argument 1 is a light userdata Bytes holding the word. Returns the table of
// candidates.
int collect_fields(lua_State* L) {
  const auto* w = static_cast<const Bytes*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  lua_pushlstring(L, w->data, w->size);  // 1 word
  lua_newtable(L);                       // 2 candidates
  std::string_view word(w->data, w->size);
  const size_t sep = word.find_last_of(".:[");
  const bool has_sep = sep != std::string_view::npos && sep > 0;
  lua_pushinteger(L, has_sep ? static_cast<lua_Integer>(sep) : -1);  // 3
  if (has_sep) {
    lua_pushlstring(L, w->data + sep + 1, w->size - sep - 1);  // 4 field prefix
    lua_pushliteral(L, "return ");
    lua_pushlstring(L, w->data, sep);
    lua_concat(L, 2);
    if (luaL_loadstring(L, lua_tostring(L, -1)) != LUA_OK || lua_pcall(L, 0, 1, 0) != LUA_OK) {
      lua_settop(L, 2);
      return 1;
    }
    lua_remove(L, -2);  // the expression's text
  } else {
    lua_pushvalue(L, 1);  // 4 field prefix: the whole word
    lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
  }
  // 5 the object
  if (!lua_istable(L, 5) && !lua_isuserdata(L, 5)) {
    lua_settop(L, 2);
    return 1;
  }
  // Its own fields, through `pairs`.
  lua_getglobal(L, "pairs");  // 6
  if (lua_isfunction(L, 6)) {
    lua_pushvalue(L, 5);
    if (lua_pcall(L, 1, 3, 0) == LUA_OK) iterate(L, 6);  // iterator, state, control at 6..8
  }
  lua_settop(L, 5);
  // The fields of its metatable's "__index" table, through `next`.
  if (luaL_getmetafield(L, 5, "__index") != LUA_TNIL) {  // 6
    if (lua_istable(L, 6) || lua_isuserdata(L, 6)) {
      lua_getglobal(L, "next");
      lua_pushvalue(L, 6);
      lua_pushnil(L);
      if (lua_isfunction(L, 7)) iterate(L, 7);
    }
  }
  lua_settop(L, 2);
  return 1;
}

// The module step's Lua side: (word, globals) -> "none" | "done" | "loaded" | "globalized" |
// "search", package.config, package.path, package.cpath, the matching preload names.
constexpr char kModuleStep[] = R"lua(
local word, G = ...
local quote = word:match("^[\"']") or ""
local plain = word:sub(#quote + 1)
local req = G.require
if type(req) ~= "function" then return "none" end
local ok, package = pcall(req, "package")
if not ok or type(package) ~= "table" then return "none" end
if word ~= "" and word:sub(-1) ~= "." and quote == "" then
  local loaded = package.loaded[word]
  if loaded then
    if G[word] == nil then
      G[word] = loaded
      return "globalized"
    end
    return "done"
  end
  -- Only a module name is run as code: a word that is not one cannot name a module anyway.
  if word:match("^[%a_][%w_]*$") or word:match("^[%a_][%w_]*%.[%w_.]*[%w_]$") then
    local chunk = load(word .. '=require("' .. word .. '")', "=completion", "t", G)
    if chunk and pcall(chunk) then return "loaded" end
  end
end
local names = {}
if type(package.preload) == "table" then
  for k in pairs(package.preload) do
    if type(k) == "string" and k:sub(1, #plain) == plain then
      names[#names + 1] = quote .. k .. quote
    end
  end
end
return "search", tostring(package.config), tostring(package.path), tostring(package.cpath), names
)lua";

// Protected: argument 1 is a light userdata Bytes holding the word; returns the module step's
// results.
int module_step(lua_State* L) {
  const auto* w = static_cast<const Bytes*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  if (luaL_loadbufferx(L, kModuleStep, sizeof kModuleStep - 1, "=completion", "t") != LUA_OK)
    return lua_error(L);
  lua_pushlstring(L, w->data, w->size);
  lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
  lua_call(L, 2, 5);
  return 5;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

struct GlobFree {
  void operator()(glob_t* g) const { globfree(g); }
};

// The modules found on the search paths (`config`, `path` and `cpath` as in package.config,
// package.path and package.cpath) whose names begin with `plain`, enclosed in `quote`.
void search_modules(const std::string& config, const std::string& path, const std::string& cpath,
                    const std::string& plain, const std::string& quote,
                    std::vector<std::string>& out) {
  std::vector<std::string> conf;
  for (size_t at = 0; conf.size() < 3 && at <= config.size();) {
    size_t nl = config.find('\n', at);
    if (nl == std::string::npos) nl = config.size();
    conf.push_back(config.substr(at, nl - at));
    at = nl + 1;
  }
  if (conf.size() < 3 || conf[1].empty() || conf[2].empty()) return;
  const std::string& dirsep = conf[0];
  const std::string& tsep = conf[1];
  const std::string& mark = conf[2];
  const std::string paths = path + tsep + cpath + tsep;
  const std::string pattern = replace_all(plain, ".", dirsep) + "*";
  const bool dotted = plain.find('.') != std::string::npos;
  for (size_t at = 0; at < paths.size();) {
    size_t end = paths.find(tsep, at);
    if (end == std::string::npos) end = paths.size();
    const std::string templ = paths.substr(at, end - at);
    at = end + tsep.size();
    const size_t mark_at = templ.find(mark);
    if (mark_at == std::string::npos) continue;
    glob_t g{};
    if (glob(replace_all(templ, mark, pattern).c_str(), 0, nullptr, &g) != 0) {
      globfree(&g);
      continue;
    }
    std::unique_ptr<glob_t, GlobFree> owned(&g);
    for (size_t i = 0; i < g.gl_pathc; ++i) {
      const std::string match = g.gl_pathv[i];
      if (match.size() + mark.size() < templ.size()) continue;
      std::string name = match.substr(mark_at, match.size() + mark.size() - templ.size());
      if (dotted) name = replace_all(name, dirsep, ".");
      if (name.size() >= 4 && name.ends_with("init")) continue;
      out.push_back(quote + name + quote);
    }
  }
}

// The maker's modules, which Lua finds through the searcher of the runner rather than on its
// search paths: the entries of the module folder whose names begin with what follows
// "norlan." in `plain` ("X.so", "X.lua" and a folder "X" with an "init.lua"), as "norlan.X".
void search_maker_modules(const std::string& plain, const std::string& quote,
                          std::vector<std::string>& out) {
  constexpr std::string_view kPrefix = "norlan.";
  if (!plain.starts_with(kPrefix)) return;
  const std::string dir = k::lua_module_dir();
  glob_t g{};
  if (glob((dir + "/" + plain.substr(kPrefix.size()) + "*").c_str(), 0, nullptr, &g) != 0) {
    globfree(&g);
    return;
  }
  std::unique_ptr<glob_t, GlobFree> owned(&g);
  for (size_t i = 0; i < g.gl_pathc; ++i) {
    std::string name = g.gl_pathv[i];
    name.erase(0, dir.size() + 1);
    if (name.ends_with(".so"))
      name.resize(name.size() - 3);
    else if (name.ends_with(".lua"))
      name.resize(name.size() - 4);
    else if (::access((std::string(g.gl_pathv[i]) + "/init.lua").c_str(), F_OK) != 0)
      continue;
    out.push_back(quote + std::string(kPrefix) + name + quote);
  }
}

// The module step: loads or globalizes a module typed whole, or appends the module names.
void complete_modules(lua_State* L, const std::string& word,
                      const std::function<void()>& before_message,
                      std::vector<std::string>& out) {
  const int top = lua_gettop(L);
  if (!lua_checkstack(L, 7)) return;
  Bytes bytes{word.data(), word.size()};
  lua_pushcfunction(L, module_step);
  lua_pushlightuserdata(L, &bytes);
  if (lua_pcall(L, 1, 5, 0) != LUA_OK) {
    lua_settop(L, top);
    return;
  }
  auto text = [L](int i) {
    size_t n = 0;
    const char* s = lua_type(L, i) == LUA_TSTRING ? lua_tolstring(L, i, &n) : "";
    return std::string(s, n);
  };
  const std::string kind = text(top + 1);
  if (kind == "loaded" || kind == "globalized") {
    if (before_message) before_message();
    std::printf("\n%s module '%s'.\n", kind == "loaded" ? "Loaded" : "Globalized", word.c_str());
    std::fflush(stdout);
  }
  if (kind != "search") {
    lua_settop(L, top);
    return;
  }
  const std::string config = text(top + 2);
  const std::string path = text(top + 3);
  const std::string cpath = text(top + 4);
  std::vector<std::string> found;
  lua_pushvalue(L, top + 5);
  if (lua_istable(L, -1))
    take_strings(L, found);
  else
    lua_pop(L, 1);
  lua_settop(L, top);
  const bool quoted = !word.empty() && (word[0] == '"' || word[0] == '\'');
  const std::string quote = quoted ? word.substr(0, 1) : "";
  const std::string plain = word.substr(quote.size());
  search_modules(config, path, cpath, plain, quote, found);
  search_maker_modules(plain, quote, found);
  std::set<std::string> seen;
  for (std::string& name : found)
    if (seen.insert(name).second) out.push_back(std::move(name));
}

}  // namespace

LuaWord lua_word_at(const std::string& line, size_t cursor) {
  cursor = std::min(cursor, line.size());
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(kSeparators, at, sizeof kSeparators - 1);
    if (start == std::string::npos || start > cursor) break;
    size_t end = line.find_first_of(kSeparators, start, sizeof kSeparators - 1);
    if (end == std::string::npos) end = line.size();
    if (end >= cursor) return {start, line.substr(start, cursor - start)};
    at = end;
  }
  return {cursor, ""};
}

std::vector<std::string> lua_complete_fields(lua_State* L, const std::string& word) {
  std::vector<std::string> out;
  const int top = lua_gettop(L);
  if (!lua_checkstack(L, 3)) return out;
  Bytes bytes{word.data(), word.size()};
  lua_pushcfunction(L, collect_fields);
  lua_pushlightuserdata(L, &bytes);
  if (lua_pcall(L, 1, 1, 0) == LUA_OK && lua_istable(L, -1)) take_strings(L, out);
  lua_settop(L, top);
  return out;
}

std::vector<std::string> lua_complete(lua_State* L, const std::string& line, size_t cursor,
                                      const std::function<void()>& before_message) {
  const std::string word = lua_word_at(line, cursor).text;
  std::vector<std::string> out;
  for (const char* k : lua_keywords)
    if (std::string_view(k).starts_with(word)) out.emplace_back(k);
  complete_modules(L, word, before_message, out);
  std::vector<std::string> fields = lua_complete_fields(L, word);
  out.insert(out.end(), fields.begin(), fields.end());
  return out;
}
