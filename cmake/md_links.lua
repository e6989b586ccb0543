-- md_links.lua - pandoc filter for the sysop's pages of one package:
-- * a link to another page ("files.md#texts") points at its HTML rendering
--   ("files.html#texts"); the package puts the change log beside the pages;
-- * a link whose text is a page's file name ("files.md") shows the page's
--   title instead, which a reader of the HTML pages knows it by;
-- * of the sections marked for one system ("<!-- windows -->" ...
--   "<!-- /windows -->", "<!-- linux -->" ... "<!-- /linux -->"), only those of
--   the package's system stay (the metadata "platform"), their marks dropped.

local platform = nil
local source_dir = "."

-- page_title - the first "# " heading of a page of the source, or nil.
local function page_title(name)
  local path = source_dir .. "/" .. name
  if name == "../CHANGELOG.md" or name == "CHANGELOG.md" then
    path = source_dir .. "/../CHANGELOG.md"
  end
  local f = io.open(path, "r")
  if not f then
    f = io.open(source_dir .. "/" .. name:gsub("^%.%./", ""), "r")
  end
  if not f then
    return nil
  end
  for line in f:lines() do
    local title = line:match("^# (.+)$")
    if title then
      f:close()
      return title
    end
  end
  f:close()
  return nil
end

-- section_mark - "windows" or "linux" and whether it ends the section, for a mark; nil otherwise.
local function section_mark(block)
  if block.t ~= "RawBlock" or block.format ~= "html" then
    return nil
  end
  local closing, system = block.text:match("^%s*<!%-%-%s*(/?)(%a+)%s*%-%->%s*$")
  if system == "windows" or system == "linux" then
    return system, closing == "/"
  end
  return nil
end

-- keep_platform - the blocks without the sections of the other system, and without the marks.
local function keep_platform(blocks)
  local kept, inside = {}, nil
  for _, block in ipairs(blocks) do
    local system, closing = section_mark(block)
    if system and closing then
      inside = nil
    elseif system then
      inside = system
    elseif inside == nil or inside == platform then
      table.insert(kept, block)
    end
  end
  return kept
end

local function Link(el)
  local text = pandoc.utils.stringify(el.content)
  local target = el.target
  local file = (target:gsub("#.*$", ""))
  if (text == file or text == (file:gsub("^.*/", ""))) and text:match("%.md$") then
    local title = page_title(file)
    if title then
      el.content = {pandoc.Str(title)}
    end
  end
  el.target = target:gsub("^%.%./CHANGELOG%.md", "CHANGELOG.md")
  el.target = el.target:gsub("^([%w%-_]+)%.md$", "%1.html"):gsub("^([%w%-_]+)%.md#", "%1.html#")
  return el
end

return {
  {
    Meta = function(meta)
      if meta.platform then
        platform = pandoc.utils.stringify(meta.platform)
      end
      local input = PANDOC_STATE.input_files[1]
      if input then
        source_dir = input:match("^(.*)/[^/]*$") or "."
      end
    end,
  },
  {
    Blocks = function(blocks)
      if platform then
        return keep_platform(blocks)
      end
      return blocks
    end,
    Link = Link,
  },
}
