-- chat window
local Chat = { lines = 200 }
return Chat
