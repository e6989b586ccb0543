-- md_links.lua - pandoc filter: a link to another page ("files.md#texts")
-- points at its HTML rendering ("files.html#texts"); the package puts the
-- change log beside the pages.
function Link(el)
  el.target = el.target:gsub("^%.%./CHANGELOG%.md", "CHANGELOG.md")
  el.target = el.target:gsub("^([%w%-_]+)%.md$", "%1.html"):gsub("^([%w%-_]+)%.md#", "%1.html#")
  return el
end
