-- Ğ¡µØÍ¼²å¼ş
local MiniMap = {}
function MiniMap.Open()
    return true
end
return MiniMap
