give_loadout()
	{if(!(isdefined(game["gaveweapons"])))
	{
		game["gaveweapons"] = 0;
	}
 
	if(!(isdefined (level.campaign)))
	{
		level.campaign = "american";
	}
 
	if((level.script == "burnville") || (level.script == "burnville_nolight"))
	{
	setCvar("cg_deadscreen_levelname", "levelshots/level_name_text/hud@Ste_Mere_Eglise.tga");
		setCvar("cg_victoryscreen_levelname", "levelshots/level_name_text/hud@Ste_Mere_Eglise.tga");
		thread setup_american();
		level.campaign = "american";

		if(game["gaveweapons"] == 1)
			return;
		// weapons carry over if given
 
		
		level.player giveWeapon("m1garand");
		level.player giveWeapon("kar98k");
		level.player giveWeapon("luger");
		level.player giveWeapon("fraggrenade");
		level.player switchToWeapon("m1garand");
 
		game["gaveweapons"] = 1;
		return;
		}
 
 
	if(level.script == "testfallback")
	{
		level.campaign = "american";
 
		level.player giveWeapon("bar");
		level.player switchToWeapon("bar");
 
		game["gaveweapons"] = 1;
		return;
	}

	//------------------------------------
	// level.script is not a single player level. give default weapons.
	println ("Z:     No level listing in _loadout.gsc, giving default guns");
 
	thread setup_american();
	level.campaign = "american";
 
	level.player giveWeapon("fg42");
	level.player giveWeapon("thompson");
	level.player giveWeapon("colt");
	level.player giveWeapon("fraggrenade");
	level.player switchToWeapon("fg42");
	//------------------------------------
}
 
refill_ammo()
{
	weapons[0] = "mp40";
	weapons[1] = "kar98k";
	weapons[2] = "bar";
	weapons[3] = "bren";
	weapons[4] = "colt";
	weapons[5] = "enfield";
	weapons[6] = "fg42";
	weapons[7] = "luger";
	weapons[8] = "m1carbine";
	weapons[9] = "m1garand";
	weapons[10] = "mosin_nagant";
	weapons[11] = "mp44";
	weapons[12] = "ppsh";
	weapons[13] = "springfield";
	weapons[14] = "sten";
	weapons[15] = "thompson";
	weapons[16] = "fraggrenade";
	weapons[17] = "MK1britishfrag";
	weapons[18] = "RGD-33russianfrag";
	weapons[19] = "Stielhandgranate";
	weapons[20] = "panzerfaust";
 
	for (i=0;i<weapons.size;i++)
	{
		if (level.player hasWeapon(weapons[i]))
		{
			level.player giveMaxAmmo(weapons[i]);
			println ("z:           giving the player max ammo for: ", weapons[i]);
		}
	}
}
 
setup_american()
{
	setCvar("cg_deadscreen_backdrop", "levelshots/deadscreen/defeat_american.tga");
	setCvar("cg_victoryscreen_backdrop", "levelshots/victoryscreen/victory_american.jpg");
	setCvar("ui_campaign", "american");
}
